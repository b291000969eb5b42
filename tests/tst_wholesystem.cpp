// SPDX-License-Identifier: MIT
// The whole program against a real Apache httpd with mod_php and a real MariaDB server, driven
// through its window as a user would. Only the service manager is a stand-in (a script on PATH).
// httpd.conf has the shape Apache 2.4 ships: the file system denied, only the shipped folder
// granted, paths relative to ServerRoot "${SRVROOT}".
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
#include <QRegularExpression>
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

const QString kMarker = QStringLiteral("brellimar-wholesystem-");

quint16 FreePort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
}

// Ends what a run that was killed or timed out left behind: its folder carries the pid of its test
// process, and every daemon it started names that folder on its command line.
void EndDaemonsOfDeadRuns()
{
    const QRegularExpression name(QRegularExpression::anchoredPattern(kMarker + QStringLiteral("(\\d+)-.*")));
    const QDir temp = QDir::temp();
    for (const QString& entry : temp.entryList({kMarker + QLatin1Char('*')}, QDir::Dirs)) {
        const QRegularExpressionMatch match = name.match(entry);
        // A run is over once its process is gone, a zombie, or its pid serves another program.
        const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(match.captured(1)));
        if (!match.hasMatch() || exe.contains(QLatin1String("tst_wholesystem")))
            continue;
        RunProgram(QStringLiteral("pkill"),
                   {QStringLiteral("-KILL"), QStringLiteral("-f"), temp.filePath(entry)});
        QDir(temp.filePath(entry)).removeRecursively();
    }
}

// Answers every notice the program shows, remembering its text.
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

// A command as this system's service manager runs it (`service mariadb start` where Debian
// installed only MariaDB's init script).
QString AsRun(const char* tableLine)
{
    return services::MapCommandLine(QLatin1String(tableLine), services::DetectServiceManager())
        ->commandLine();
}

} // namespace

class TestWholeSystem : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase();
    void cleanupTestCase();
    void okServesTheNewSiteWithTheStockConfiguration();
    void failedStartsSayWhy();

  private:
    QString path(const QString& relative) const { return m_dir->filePath(relative); }
    QString fetch(int* status = nullptr) const;
    QStringList applyThroughWindow(const char* apacheAction);
    void writeStandInEnv(bool failMysqlStart);

    std::unique_ptr<QTemporaryDir> m_dir;
    quint16 m_httpPort = 0;
    quint16 m_mysqlPort = 0;
    QByteArray m_oldPath;
};

void TestWholeSystem::initTestCase()
{
    QString php;
    for (const QString& name :
         QDir(QStringLiteral("/usr/lib/apache2/modules")).entryList({QStringLiteral("libphp*.so")}))
        php = QStringLiteral("/usr/lib/apache2/modules/") + name;
    for (const char* tool : {"mariadbd", "mariadb-install-db", "mariadb-admin", "curl", "pkill"})
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty() &&
            QStandardPaths::findExecutable(QLatin1String(tool), {QStringLiteral("/usr/sbin")}).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QLatin1String(tool))));
    if (!QFile::exists(QStringLiteral("/usr/sbin/apache2")) || php.isEmpty())
        QSKIP("apache2 and libapache2-mod-php are not installed");

    EndDaemonsOfDeadRuns();
    m_dir = std::make_unique<QTemporaryDir>(
        QDir::temp().filePath(kMarker + QString::number(::getpid()) + QStringLiteral("-XXXXXX")));
    QVERIFY(m_dir->isValid());
    // Apache's children run as nobody when the test runs as root: they must reach the sites.
    QVERIFY(QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                     QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                                     QFile::ExeOther));
    for (const char* folder : {"apache/conf", "apache/htdocs", "apache/logs", "site", "mysql", "bin"})
        QVERIFY(QDir(m_dir->path()).mkpath(QLatin1String(folder)));
    m_httpPort = FreePort();
    m_mysqlPort = FreePort();
    QVERIFY(m_httpPort && m_mysqlPort && m_httpPort != m_mysqlPort);

    const QString modules = QStringLiteral("/usr/lib/apache2/modules/");
    QString conf = QStringLiteral(R"(# Apache 2.4 configuration in the shape the server ships it
Define SRVROOT "%1"
ServerRoot "${SRVROOT}"
Listen 127.0.0.1:%2
LoadModule mpm_prefork_module %3mod_mpm_prefork.so
LoadModule authz_core_module %3mod_authz_core.so
LoadModule dir_module %3mod_dir.so
LoadModule php_module %4
%5ServerName localhost
PidFile "logs/httpd.pid"
DefaultRuntimeDir "logs"
Mutex file:${SRVROOT}/logs default

# Deny access to the entirety of your server's filesystem.
<Directory />
    AllowOverride none
    Require all denied
</Directory>

# DocumentRoot: The directory out of which you will serve your documents.
DocumentRoot "${SRVROOT}/htdocs"
# This should be changed to whatever you set DocumentRoot to.
<Directory "${SRVROOT}/htdocs">
    Options FollowSymLinks
    AllowOverride None
    Require all granted
</Directory>

<IfModule dir_module>
    DirectoryIndex index.html index.php
</IfModule>

ErrorLog "logs/error.log"
LogLevel warn
PHPIniDir "${SRVROOT}"
<FilesMatch "\.php$">
    SetHandler application/x-httpd-php
</FilesMatch>
)")
                       .arg(path(QStringLiteral("apache")), QString::number(m_httpPort), modules, php,
                            ::geteuid() == 0 ? QStringLiteral("User nobody\nGroup nogroup\n") : QString());
    QVERIFY(testutil::WriteAll(path(QStringLiteral("apache/conf/httpd.conf")),
                               conf.replace(QLatin1String("\n"), QLatin1String("\r\n")).toUtf8()));
    QVERIFY(testutil::WriteAll(path(QStringLiteral("apache/php.ini")),
                               "[PHP]\r\n; display_errors = On\r\ndisplay_errors = Off\r\n"));
    for (const char* site : {"apache/htdocs", "site"})
        QVERIFY(testutil::WriteAll(path(QLatin1String(site) + QStringLiteral("/index.php")),
                                   "<?php echo '" + QByteArray(site) +
                                       ", display_errors=' . ini_get('display_errors'), \"\\n\";\n"));

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

    // The stack as the user has it before: Apache serving the shipped folder, MariaDB stopped.
    const Run start =
        RunProgram(QStringLiteral("service"), {QStringLiteral("apache2"), QStringLiteral("start")});
    QVERIFY2(start.exitCode == 0, qPrintable(start.output));
    const QString before = fetch();
    qInfo().noquote() << "before: Apache serves" << before.trimmed();
    QCOMPARE(before, QStringLiteral("apache/htdocs, display_errors=\n"));
}

void TestWholeSystem::cleanupTestCase()
{
    if (m_oldPath.isEmpty())
        return;
    // Everything the test started ends here, also after a failure.
    RunProgram(path(QStringLiteral("bin/service")), {QStringLiteral("apache2"), QStringLiteral("stop")});
    RunProgram(path(QStringLiteral("bin/service")), {QStringLiteral("mysql"), QStringLiteral("stop")});
    RunProgram(QStringLiteral("pkill"), {QStringLiteral("-KILL"), QStringLiteral("-f"), m_dir->path()});
    qputenv("PATH", m_oldPath);
}

void TestWholeSystem::writeStandInEnv(bool failMysqlStart)
{
    const QString env =
        QStringLiteral("APACHE_CONF='%1'\nAPACHE_PIDFILE='%2/httpd.pid'\nAPACHE_ERRORLOG='%2/error.log'\n"
                       "MYSQL_DIR='%3'\nMYSQL_PORT=%4\nFAIL_MYSQL_START=%5\n")
            .arg(path(QStringLiteral("apache/conf/httpd.conf")), path(QStringLiteral("apache/logs")),
                 path(QStringLiteral("mysql")))
            .arg(m_mysqlPort)
            .arg(failMysqlStart ? 1 : 0);
    QVERIFY(testutil::WriteAll(path(QStringLiteral("bin/standin.env")), env.toUtf8()));
}

// GET / from Apache: the page, and the HTTP status when asked for.
QString TestWholeSystem::fetch(int* status) const
{
    const QString url = QStringLiteral("http://127.0.0.1:%1/").arg(m_httpPort);
    Run run;
    for (int attempt = 0; attempt < 100; ++attempt) {
        run = RunProgram(QStringLiteral("curl"), {QStringLiteral("-sS"), QStringLiteral("-w"),
                                                  QStringLiteral("\n%{http_code}"), url});
        if (run.exitCode == 0)
            break;
        QTest::qWait(100);
    }
    const qsizetype last = run.output.lastIndexOf(QLatin1Char('\n'));
    if (status)
        *status = run.output.mid(last + 1).toInt();
    return run.output.left(last);
}

QStringList TestWholeSystem::applyThroughWindow(const char* apacheAction)
{
    NoticeAnswerer notices;
    frmMain window;
    window.show();
    [&] {
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
        auto* action = window.findChild<QRadioButton*>(QLatin1String(apacheAction));
        QTest::mouseClick(action, Qt::LeftButton, {}, QPoint(6, action->height() / 2));
        QVERIFY(action->isChecked());
        QVERIFY(window.findChild<QRadioButton*>(QStringLiteral("mStart"))->isChecked());
        QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("cmdOk")), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 60000);
    }();
    return notices.texts;
}

void TestWholeSystem::okServesTheNewSiteWithTheStockConfiguration()
{
    QCOMPARE(applyThroughWindow("aRestart"), QStringList{QStringLiteral("设置已完成！")});

    int status = 0;
    const QString page = fetch(&status);
    qInfo().noquote() << "after OK: Apache answers" << status << page.trimmed();
    QCOMPARE(status, 200);
    QCOMPARE(page, QStringLiteral("site, display_errors=1\n"));

    const Run ping = RunProgram(QStringLiteral("mariadb-admin"),
                                {QStringLiteral("--no-defaults"),
                                 QStringLiteral("--socket=") + path(QStringLiteral("mysql/mysql.sock")),
                                 QStringLiteral("ping")});
    qInfo().noquote() << "after OK: MariaDB ping:" << ping.output.trimmed();
    QVERIFY(ping.output.contains(QLatin1String("is alive")));

    const Run syntax =
        RunProgram(QStringLiteral("/usr/sbin/apache2"), {QStringLiteral("-t"), QStringLiteral("-f"),
                                                         path(QStringLiteral("apache/conf/httpd.conf"))});
    qInfo().noquote() << "after OK: apache2 -t:" << syntax.output.trimmed();
    QVERIFY(syntax.output.contains(QLatin1String("Syntax OK")));
    const QString mysql = AsRun("net start mysql").contains(QLatin1String("mariadb"))
                              ? QStringLiteral("mariadb start")
                              : QStringLiteral("mysql start");
    QCOMPARE(QString::fromUtf8(testutil::ReadAll(path(QStringLiteral("bin/calls.log"))))
                 .split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             (QStringList{"apache2 start", "apache2 stop", "apache2 start", mysql}));
}

// Apache's port taken by another program and MySQL's start refused: the message names both
// commands, and Apache's line carries the reason from Apache's own log.
void TestWholeSystem::failedStartsSayWhy()
{
    RunProgram(QStringLiteral("service"), {QStringLiteral("apache2"), QStringLiteral("stop")});
    RunProgram(QStringLiteral("service"), {QStringLiteral("mysql"), QStringLiteral("stop")});
    QTcpServer squatter;
    QVERIFY(squatter.listen(QHostAddress::LocalHost, m_httpPort));
    writeStandInEnv(true);

    const QStringList notices = applyThroughWindow("aStart");
    qInfo().noquote() << "with the port taken:" << notices;
    QCOMPARE(notices.size(), 1);
    const QStringList lines = notices.first().split(QLatin1Char('\n'));
    QCOMPARE(lines.value(0), QStringLiteral("设置已应用，但以下服务命令没有成功："));
    QCOMPARE(lines.value(1),
             AsRun("net start apache2") + QStringLiteral("：退出码 1（apache2: the service did not start）"));
    // What Apache appended to its log follows the command's line.
    QVERIFY2(
        lines.value(2).contains(QRegularExpression(QStringLiteral("Address already in use|could not bind"))),
        qPrintable(notices.first()));
    QCOMPARE(lines.last(),
             AsRun("net start mysql") + QStringLiteral("：退出码 1（mysql: start refused by the test）"));
}

QTEST_MAIN(TestWholeSystem)
#include "tst_wholesystem.moc"
