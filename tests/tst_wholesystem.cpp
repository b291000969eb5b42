// SPDX-License-Identifier: MIT
// The whole program against a real Apache httpd with mod_php and a real MariaDB server, driven
// through its window as a user would. Only the service manager is a stand-in (a script on PATH).
#include "app/frmmain.h"
#include "guiutil.h"
#include "services/servicemanager.h"
#include "testutil.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <pwd.h>
#include <unistd.h>

using testutil::Run;
using testutil::RunProgram;

namespace {

quint16 FreePort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
}

// Answers the next notice the program shows, remembering its text.
class NoticeAnswerer : public QObject
{
  public:
    QStringList texts;
    NoticeAnswerer()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                texts << box->text();
                box->buttons().first()->click();
            }
        });
        m_timer.start(50);
    }

  private:
    QTimer m_timer;
};

// MySQL's start as this system's service manager runs it: `service mariadb start` where Debian
// installed only MariaDB's init script.
services::Invocation MySqlStart()
{
    return *services::MapCommandLine(QStringLiteral("net start mysql"), services::DetectServiceManager());
}

} // namespace

class TestWholeSystem : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase();
    void cleanupTestCase();
    void okAppliesSettingsToTheRunningStack();
    void failedServiceCommandIsReportedAndApacheKeepsServing();

  private:
    QString path(const QString& relative) const { return m_dir.filePath(relative); }
    QString fetchPage() const;
    void applyThroughWindow(bool restartApache);
    void writeStandInEnv(bool failMysqlStart);

    QTemporaryDir m_dir;
    quint16 m_httpPort = 0;
    quint16 m_mysqlPort = 0;
    QByteArray m_oldPath;
    QStringList m_notices;
};

void TestWholeSystem::initTestCase()
{
    QString php;
    for (const QString& name :
         QDir(QStringLiteral("/usr/lib/apache2/modules")).entryList({QStringLiteral("libphp*.so")}))
        php = QStringLiteral("/usr/lib/apache2/modules/") + name;
    for (const char* tool : {"mariadbd", "mariadb-install-db", "mariadb-admin", "curl"})
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty() &&
            QStandardPaths::findExecutable(QLatin1String(tool), {QStringLiteral("/usr/sbin")}).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QLatin1String(tool))));
    if (!QFile::exists(QStringLiteral("/usr/sbin/apache2")) || php.isEmpty())
        QSKIP("apache2 and libapache2-mod-php are not installed");

    QVERIFY(m_dir.isValid());
    // Apache's children run as nobody when the test runs as root: they must reach the sites.
    QVERIFY(QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                    QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                                    QFile::ExeOther));
    for (const char* folder : {"apache/conf", "old", "site", "mysql", "bin"})
        QVERIFY(QDir(m_dir.path()).mkpath(QLatin1String(folder)));
    m_httpPort = FreePort();
    m_mysqlPort = FreePort();
    QVERIFY(m_httpPort && m_mysqlPort && m_httpPort != m_mysqlPort);

    const QString apache = path(QStringLiteral("apache"));
    const QString runAs = ::geteuid() == 0 ? QStringLiteral("User nobody\nGroup nogroup\n") : QString();
    const QString withPhp =
        runAs + QStringLiteral("LoadModule php_module %1\nPHPIniDir \"%2\"\n"
                               "<FilesMatch \"\\.php$\">\n    SetHandler application/x-httpd-php\n"
                               "</FilesMatch>\n<Directory />\n    Require all granted\n</Directory>")
                    .arg(php, apache);
    QVERIFY(
        testutil::WriteAll(path(QStringLiteral("apache/conf/httpd.conf")),
                           testutil::ApacheConf(apache, m_httpPort, path(QStringLiteral("old")), withPhp)));
    QVERIFY(testutil::WriteAll(path(QStringLiteral("apache/php.ini")),
                               "[PHP]\r\n; display_errors = On\r\ndisplay_errors = Off\r\n"));
    QVERIFY(
        testutil::WriteAll(path(QStringLiteral("old/index.php")),
                           "<?php echo 'old site, display_errors=' . ini_get('display_errors'), \"\\n\";\n"));
    QVERIFY(
        testutil::WriteAll(path(QStringLiteral("site/index.php")),
                           "<?php echo 'new site, display_errors=' . ini_get('display_errors'), \"\\n\";\n"));

    const Run install = RunProgram(
        QStringLiteral("mariadb-install-db"),
        {QStringLiteral("--no-defaults"), QStringLiteral("--datadir=") + path(QStringLiteral("mysql/data")),
         QStringLiteral("--user=") + QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name),
         QStringLiteral("--auth-root-authentication-method=normal"), QStringLiteral("--skip-test-db"),
         // no host-name lookup: the test server is reached by socket and loopback only
         QStringLiteral("--force")});
    QVERIFY2(install.exitCode == 0, qPrintable(install.output));

    for (const char* name : {"service", "systemctl"}) {
        const QString standIn = path(QStringLiteral("bin/")) + QLatin1String(name);
        QVERIFY(QFile::copy(QStringLiteral(BRELLIMAR_TEST_DATA "/service-standin.sh"), standIn));
        QVERIFY(QFile::setPermissions(standIn, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }
    writeStandInEnv(false);
    m_oldPath = qgetenv("PATH");
    qputenv("PATH", path(QStringLiteral("bin")).toLocal8Bit() + ':' + m_oldPath);

    // The stack as the user has it before: Apache serving the old site, MariaDB stopped.
    const Run start =
        RunProgram(QStringLiteral("service"), {QStringLiteral("apache2"), QStringLiteral("start")});
    QVERIFY2(start.exitCode == 0, qPrintable(start.output));
    const QString before = fetchPage();
    qInfo().noquote() << "before: Apache serves" << before.trimmed();
    QCOMPARE(before, QStringLiteral("old site, display_errors=\n"));
}

void TestWholeSystem::cleanupTestCase()
{
    if (m_oldPath.isEmpty())
        return;
    // Everything the test started ends here, also after a failure.
    RunProgram(path(QStringLiteral("bin/service")), {QStringLiteral("apache2"), QStringLiteral("stop")});
    RunProgram(path(QStringLiteral("bin/service")), {QStringLiteral("mysql"), QStringLiteral("stop")});
    qputenv("PATH", m_oldPath);
}

void TestWholeSystem::writeStandInEnv(bool failMysqlStart)
{
    const QByteArray env = "APACHE_CONF='" + path(QStringLiteral("apache/conf/httpd.conf")).toUtf8() +
                           "'\n"
                           "APACHE_PIDFILE='" +
                           path(QStringLiteral("apache/httpd.pid")).toUtf8() +
                           "'\n"
                           "MYSQL_DIR='" +
                           path(QStringLiteral("mysql")).toUtf8() +
                           "'\n"
                           "MYSQL_PORT=" +
                           QByteArray::number(m_mysqlPort) +
                           "\n"
                           "FAIL_MYSQL_START=" +
                           (failMysqlStart ? "1" : "0") + "\n";
    QVERIFY(testutil::WriteAll(path(QStringLiteral("bin/standin.env")), env));
}

QString TestWholeSystem::fetchPage() const
{
    const QString url = QStringLiteral("http://127.0.0.1:%1/").arg(m_httpPort);
    Run run;
    for (int attempt = 0; attempt < 100; ++attempt) {
        run = RunProgram(QStringLiteral("curl"), {QStringLiteral("-sS"), QStringLiteral("--fail"), url});
        if (run.exitCode == 0)
            break;
        QTest::qWait(100);
    }
    return run.output;
}

void TestWholeSystem::applyThroughWindow(bool restartApache)
{
    NoticeAnswerer notices;
    frmMain window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    const auto type = [&window](const char* name, const QString& text) {
        auto* box = window.findChild<QLineEdit*>(QLatin1String(name));
        QVERIFY(box);
        guiutil::Replace(box, text);
        QCOMPARE(box->text(), text);
    };
    type("txt", path(QStringLiteral("site")));
    type("txt2", QStringLiteral("index.php index.html"));
    type("txt3", path(QStringLiteral("apache")));
    QVERIFY(window.findChild<QCheckBox*>(QStringLiteral("chkShowErr"))->isChecked());
    if (restartApache) {
        auto* restart = window.findChild<QRadioButton*>(QStringLiteral("aRestart"));
        QTest::mouseClick(restart, Qt::LeftButton, {}, QPoint(6, restart->height() / 2));
        QVERIFY(restart->isChecked());
    }
    QVERIFY(window.findChild<QRadioButton*>(QStringLiteral("mStart"))->isChecked());

    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("cmdOk")), Qt::LeftButton);
    QTRY_VERIFY(!window.isVisible());
    m_notices = notices.texts;
}

void TestWholeSystem::okAppliesSettingsToTheRunningStack()
{
    applyThroughWindow(true);
    QCOMPARE(m_notices, QStringList{QStringLiteral("设置已完成！")});

    const QString page = fetchPage();
    qInfo().noquote() << "after OK: Apache serves" << page.trimmed();
    QCOMPARE(page, QStringLiteral("new site, display_errors=1\n"));

    const Run ping = RunProgram(QStringLiteral("mariadb-admin"),
                                {QStringLiteral("--no-defaults"),
                                 QStringLiteral("--socket=") + path(QStringLiteral("mysql/mysql.sock")),
                                 QStringLiteral("ping")});
    qInfo().noquote() << "after OK: MariaDB ping:" << ping.output.trimmed();
    QCOMPARE(ping.exitCode, 0);
    QVERIFY(ping.output.contains(QLatin1String("is alive")));

    const Run syntax =
        RunProgram(QStringLiteral("/usr/sbin/apache2"), {QStringLiteral("-t"), QStringLiteral("-f"),
                                                         path(QStringLiteral("apache/conf/httpd.conf"))});
    qInfo().noquote() << "after OK: apache2 -t:" << syntax.output.trimmed();
    QVERIFY(syntax.output.contains(QLatin1String("Syntax OK")));

    const QString mysqlStart =
        MySqlStart().arguments.contains(QLatin1String("mariadb")) ? "mariadb start" : "mysql start";
    QCOMPARE(QString::fromUtf8(testutil::ReadAll(path(QStringLiteral("bin/calls.log"))))
                 .split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             (QStringList{"apache2 start", "apache2 stop", "apache2 start", mysqlStart}));
}

void TestWholeSystem::failedServiceCommandIsReportedAndApacheKeepsServing()
{
    RunProgram(path(QStringLiteral("bin/service")), {QStringLiteral("mysql"), QStringLiteral("stop")});
    writeStandInEnv(true);
    applyThroughWindow(false);
    const QString run = MySqlStart().commandLine();
    QCOMPARE(m_notices,
             QStringList{
                 QStringLiteral(
                     "设置已应用，但以下服务命令没有成功：\n%1：退出码 1（mysql: start refused by the test）")
                     .arg(run)});
    const QString page = fetchPage();
    qInfo().noquote() << "after the failed MySQL start: Apache serves" << page.trimmed();
    QCOMPARE(page, QStringLiteral("new site, display_errors=1\n"));
}

QTEST_MAIN(TestWholeSystem)
#include "tst_wholesystem.moc"
