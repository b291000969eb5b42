// SPDX-License-Identifier: MIT
// The whole program, driven through its window as a user would, against a real Apache httpd with
// mod_php and a real MariaDB server; only the service manager is a stand-in (data/service-standin.sh).
#include "app/frmmain.h"
#include "app/notice.h"
#include "testutil.h"

#include <QTcpServer>
#include <QTest>
#include <QtWidgets>

#include <unistd.h>

using namespace Qt::StringLiterals;

const QString kMarker = QDir::temp().filePath(u"brellimar-wholesystem-"_s);
const QString kSite = u"200 site, display_errors=1"_s; // the test's page, as Apache serves it with the change

// The notice of a pass that changed the php.ini the configuration names outside the Apache folder.
QString Done(const QString& phpIni)
{
    return u"提示 1 确定 设置已完成！\n修改的是 PHP 读取的 php.ini："_s + phpIni;
}

class TestWholeSystem : public QObject
{
    Q_OBJECT
    // A run killed mid-way leaves its daemons behind; its folder names its test process.
    QTemporaryDir m_dir{kMarker + QString::number(::getpid()) + u"-XXXXXX"_s};
    quint16 m_port = [] {
        QTcpServer free;
        return free.listen(QHostAddress::LocalHost, 0) ? free.serverPort() : quint16(0);
    }();

    QString path(const QString& name) const { return QDir(m_dir.path()).filePath(name); }
    // A shell command line run in the test's folder; its paths hold no blanks.
    testutil::Run Sh(const QString& command) const { return testutil::RunIn(m_dir.path(), command); }
    bool ok(const QString& command) const { return Sh(command).exitCode == 0; }

    // GET from Apache: the HTTP status and the page.
    QString fetch(const QString& page = {}) const
    {
        const QString get =
            uR"(for i in $(seq 100); do curl -s -w ' %{http_code}' 127.0.0.1:%1/%2 && exit; sleep 0.1; done)"_s;
        const testutil::Run run = Sh(get.arg(m_port).arg(page));
        qInfo().noquote() << "Apache answers:" << run.output;
        return run.output.section(u' ', -1) + u' ' + run.output.section(u' ', 0, -2);
    }

    // Fills in the window as a user would (folders in the test's unless absolute) and presses OK; returns
    // the notices shown as the user sees them: title, icon, button, text.
    QString applyThroughWindow(const char* apacheAction, const QString& site = u"site"_s,
                               const QString& apacheFolder = u"apache"_s)
    {
        QStringList notices;
        QTimer answerer;
        connect(&answerer, &QTimer::timeout, [&notices] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                const QList<QAbstractButton*> buttons = box->buttons();
                const QString button = buttons.size() == 1 ? buttons[0]->text() : u"buttons"_s;
                notices << u"%1 %2 %3 %4"_s.arg(box->windowTitle()).arg(box->icon()).arg(button, box->text());
                buttons[0]->click();
            }
        });
        answerer.start(50);
        frmMain window;
        window.show();
        [&] {
            QVERIFY(QTest::qWaitForWindowActive(&window));
            for (const auto& [name, text] : {std::pair{"txt", path(site)}, {"txt3", path(apacheFolder)}}) {
                auto* box = window.findChild<QLineEdit*>(QLatin1String(name));
                box->selectAll();
                QTest::keyClicks(box, text);
            }
            auto* action = window.findChild<QRadioButton*>(QLatin1String(apacheAction));
            QTest::mouseClick(action, Qt::LeftButton, {}, QPoint(6, action->height() / 2));
            QTest::mouseClick(window.findChild<QPushButton*>(u"cmdOk"_s), Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 60000);
        }();
        qInfo().noquote() << "notices:" << notices;
        return notices.join(u"\n\n"_s);
    }

  private slots:
    void initTestCase()
    {
        const testutil::Run found = Sh(uR"(ls /usr/lib/apache2/modules/libphp*.so &&
for t in apache2 mariadbd mariadb-install-db curl pkill; do PATH=$PATH:/usr/sbin command -v $t || exit 1; done)"_s);
        if (found.exitCode != 0)
            QSKIP("needs apache2, libapache2-mod-php, mariadb-server, curl and pkill");
        // Apache's children run as nobody when the test runs as root: they must reach the sites.
        const QString asRoot = ::geteuid() == 0 ? u"User nobody\nGroup nogroup\n"_s : QString();
        QVERIFY(testutil::MakeApacheFolder(path(u"apache"_s), m_port,
                                           asRoot + u"LoadModule php_module "_s +
                                               found.output.section(u'\n', 0, 0)));
        // Ends what killed runs left (each daemon names its run's folder); then the sites, Debian's
        // development php.ini (display_errors off, CR LF), MariaDB's data (--force: no DNS), stand-ins.
        const testutil::Run setup = Sh(uR"(for old in %1*; do pid=${old#%1}; readlink /proc/${pid%%-*}/exe |
    grep -q tst_wholesystem || { pkill -KILL -f $old; rm -rf $old; }; done; cd %2 && chmod 755 . && mkdir site bin &&
for site in apache/htdocs site; do echo "<?php echo '$site, display_errors=' . ini_get('display_errors');" >$site/index.php; done &&
sed 's/^display_errors = On$/display_errors = Off/; s/$/\r/' $(ls /usr/lib/php/*/php.ini-development | tail -n 1) >apache/php.ini &&
mkdir apache/bin && ln -s /usr/sbin/apache2 apache/bin/httpd &&
cp apache/php.ini php.ini.before && cp %3 bin/service && cp %3 bin/systemctl && mariadb-install-db --no-defaults --datadir=%2/mysql/data --user=$(id -un) \
    --auth-root-authentication-method=normal --skip-test-db --force)"_s.arg(
            kMarker, m_dir.path(), QStringLiteral(BRELLIMAR_TEST_DATA "/service-standin.sh")));
        QVERIFY2(setup.exitCode == 0, qPrintable(setup.output));
        qputenv("PATH", QFile::encodeName(path(u"bin:"_s)) + qgetenv("PATH"));
        // The stack as the user has it before: Apache serving the shipped folder, MariaDB stopped.
        QVERIFY(app::InstallQtChineseTranslation()); // as the program starts
        QCOMPARE(Sh(u"service apache2 start"_s).exitCode, 0);
        QCOMPARE(fetch(u"index.php"_s), u"200 apache/htdocs, display_errors="_s);
    }

    void okServesTheNewSiteOrSaysWhyNot()
    {
        QCOMPARE(applyThroughWindow("aRestart"), u"提示 1 确定 设置已完成！"_s);
        // Only with the old folder's access section moved along does Apache answer 200, not 403; only
        // with the new DirectoryIndex does / find index.php.
        QCOMPARE(fetch(), kSite);
        // MariaDB answers; of php.ini only that line changed; the service manager saw Apache restarted,
        // then MySQL started (by its own name or MariaDB's).
        const QString checks = uR"(mariadb-admin --no-defaults --socket=mysql/mysql.sock ping &&
sed 's/^display_errors = Off/display_errors = On/' php.ini.before | cmp - apache/php.ini && sed s/mariadb/mysql/ bin/calls.log)"_s;
        QCOMPARE(Sh(checks).output,
                 u"mysqld is alive\napache2 start\napache2 stop\napache2 start\nmysql start\n"_s);

        // Then Apache's port taken by this test and MySQL's start refused: the message names both
        // commands, and below Apache's line who holds its port, then the reason from Apache's own log.
        Sh(u"service apache2 stop"_s);
        QTcpServer squatter;
        QVERIFY(squatter.listen(QHostAddress::LocalHost, m_port));
        qputenv("FAIL_MYSQL_START", "1");
        const QStringList lines = applyThroughWindow("aStart").split(u'\n');
        qunsetenv("FAIL_MYSQL_START");
        QCOMPARE(lines.value(0), u"提示 1 确定 设置已应用，但以下服务命令没有成功："_s);
        QVERIFY(lines.value(1).endsWith(u" apache2 start：退出码 1（apache2: the service did not start）"_s));
        QCOMPARE(lines.value(2),
                 u"    端口 %1 已被 tst_wholesystem (PID %2) 占用"_s.arg(m_port).arg(::getpid()));
        QVERIFY2(lines.value(3).contains(u"Address already in use"_s), qPrintable(lines.value(3)));
        // (Below it, whoever holds 3306 on this machine, if anyone does.)
        QCOMPARE(lines.filter(u" start：退出码 1（mysql: start refused by the test）"_s).size(), 1);
    }

    void apacheRefusesOrTheRootIsNotServed()
    {
        // Apache serving the new site; a root typed under a folder that does not exist, Restart:
        // Apache refuses the change, everything is put back, nothing is stopped.
        QCOMPARE(Sh(u"service apache2 start"_s).exitCode, 0);
        const QString state = u"cat apache/conf/httpd.conf apache/php.ini bin/calls.log | md5sum"_s;
        const QString before = Sh(state).output;
        const QString refused = applyThroughWindow("aRestart", u"typo/site"_s);
        QCOMPARE(refused.section(u'\n', 0, 0), u"提示 1 确定 设置没有应用：Apache 不接受修改后的配置，"
                                               "文件已恢复原样，服务没有启动或停止。Apache 的说明："_s);
        QVERIFY2(refused.contains(u"is not a directory"_s), qPrintable(refused));
        QCOMPARE(Sh(state).output, before);
        QCOMPARE(fetch(), kSite);

        // A root inside a folder Apache's user cannot enter (0700, another owner): served 403, and why.
        QVERIFY(ok(u"mkdir -p private/site && cp site/index.php private/site && chmod 700 private && "
                   "(id -u | grep -qx 0 || chown 65534 private)"_s));
        const QString closed = applyThroughWindow("aRestart", u"private/site"_s);
        QVERIFY2(closed.contains(u" 的回答是 403 Forbidden"_s) &&
                     closed.contains(u"search permissions are missing"_s) &&
                     closed.contains(u"Apache 的运行用户无法进入文件夹“%1”。"_s.arg(path(u"private"_s))),
                 qPrintable(closed));

        // A configuration Apache refused already (its root gone): the change goes on as ever, and mends it.
        QVERIFY(ok(u"rm -r private"_s));
        const QString mended = applyThroughWindow("aRestart");
        QVERIFY2(mended.contains(u"修改之前 Apache 的配置就有错误：\n    AH00526: Syntax error"_s),
                 qPrintable(mended));
        QCOMPARE(fetch(), kSite);
    }

    void phpIniNamedElsewhere()
    {
        // As XAMPP and PHP's own Windows zip set it up: PHPIniDir in an included file names php/,
        // and a documentroot line in lower case follows the DocumentRoot line (the last one counts).
        const QString reshape =
            uR"(mkdir -p php apache/conf/extra site2 && sed 's/site,/site2,/' site/index.php >site2/index.php &&
sed -i '/PHPIniDir/d; s|^DocumentRoot .*|&\ndocumentroot "%1/apache/htdocs"\r|' apache/conf/httpd.conf &&
printf 'Include conf/extra/php.conf\r\n' >>apache/conf/httpd.conf && printf 'PHPIniDir "%1/php"\r\n' >apache/conf/extra/php.conf)"_s;
        QVERIFY(ok(reshape.arg(m_dir.path())));
        // With the Apache folder's own php.ini, which PHP does not read and which stays as it was, and
        // without.
        for (const QString& ownPhpIni : {u"cp php.ini.before apache/php.ini"_s, u"rm apache/php.ini"_s}) {
            QVERIFY(ok(u"cp php.ini.before php/php.ini && "_s + ownPhpIni));
            QCOMPARE(applyThroughWindow("aRestart", u"site2"_s), Done(path(u"php/php.ini"_s)));
            QCOMPARE(fetch(), u"200 site2, display_errors=1"_s);
            QVERIFY(ok(u"[ ! -e apache/php.ini ] || cmp php.ini.before apache/php.ini"_s));
        }
    }

    void debianLayout()
    {
        // A copy of the tree Debian's apache2 package installs (its DirectoryIndex as shipped, whatever this
        // machine's holds now), run as itself through apache2ctl: its port and the vhost's moved to a free
        // one, its run and log folders into the copy, PHP pointed at a php.ini of its own.
        if (::geteuid() != 0 || !QFile::exists(u"/etc/apache2/mods-enabled/php8.2.load"_s))
            QSKIP("needs root and Debian's apache2 with libapache2-mod-php");
        const QString copy =
            uR"(service apache2 stop && mkdir -p deb/run deb/log deb/php newsite && cp -a /etc/apache2 deb/apache2 &&
cd deb/apache2 && sed -i 's/^Listen 80$/Listen 127.0.0.1:%2/' ports.conf && sed -i 's/^\(\s*DirectoryIndex\).*/\1 index.html index.cgi index.pl index.php index.xhtml index.htm/' mods-available/dir.conf && sed -i 's/\*:80>/*:%2>/' sites-available/000-default.conf &&
sed -i "s|^export APACHE_\(PID_FILE\)=.*|export APACHE_\1=%1/deb/run/apache2.pid|; s|^export APACHE_\(RUN_DIR\|LOCK_DIR\)=.*|export APACHE_\1=%1/deb/run|; s|^export APACHE_LOG_DIR=.*|export APACHE_LOG_DIR=%1/deb/log|" envvars &&
printf 'PHPIniDir "%1/deb/php"\n' >conf-enabled/php-ini.conf && cp %1/php.ini.before %1/deb/php/php.ini && cp %1/site/index.php %1/newsite/)"_s;
        QVERIFY(ok(copy.arg(m_dir.path()).arg(m_port))); // the test's own Apache stopped, its port free
        qputenv("DEBIAN_CONFDIR", path(u"deb/apache2"_s).toLocal8Bit());
        const QString tree =
            u"cd deb && find apache2 php -type l -printf '%p -> %l\n' -o -type f -exec md5sum {} + | sort"_s;
        QVERIFY(ok(tree + u" >tree.before"_s));

        QCOMPARE(applyThroughWindow("aStart", u"newsite"_s, u"deb/apache2"_s),
                 Done(path(u"deb/php/php.ini"_s)));
        QCOMPARE(fetch(), kSite); // newsite holds site's page
        // Only the enabled site, the enabled dir.conf (each through its link) and php.ini changed.
        const QString first = Sh(tree).output;
        QCOMPARE(
            Sh(tree + u" | comm -13 tree.before - | sed 's/.* //' | sort"_s).output,
            u"apache2/mods-available/dir.conf\napache2/sites-available/000-default.conf\nphp/php.ini\n"_s);
        // A second pass with the same values changes nothing.
        applyThroughWindow("aRestart", u"newsite"_s, u"deb/apache2"_s);
        QCOMPARE(Sh(tree).output, first);
        Sh(u"service apache2 stop"_s);
        qunsetenv("DEBIAN_CONFDIR");
    }

    void debianForReal_data()
    {
        QTest::addColumn<QString>("php");    // how Apache runs PHP: set up once everything is saved
        QTest::addColumn<QString>("phpIni"); // the php.ini that PHP reads, which the pass changes
        QTest::newRow("mod_php, as installed")
            << u"a2query -q -m php8.2"_s << u"/etc/php/8.2/apache2/php.ini"_s;
        // As Debian suggests setting it up: the module installed but disabled, PHP-FPM started by its script.
        QTest::newRow("php8.2-fpm")
            << u"a2dismod -q php8.2 && a2enmod -q proxy_fcgi setenvif && a2enconf -q php8.2-fpm && "
               "service php8.2-fpm start"_s
            << u"/etc/php/8.2/fpm/php.ini"_s;
    }

    void debianForReal()
    {
        // CI only (a fresh machine, as root): the machine's own /etc/apache2 and /etc/php with Debian's
        // real service scripts, the services stopped first as a fresh install leaves them, everything put
        // back and all stopped again afterwards.
        QFETCH(QString, php);
        QFETCH(QString, phpIni);
        if (qgetenv("CI") != "true" || ::geteuid() != 0 || !QFile::exists(phpIni))
            QSKIP("runs in CI only (CI=true, as root, with Debian's apache2 and PHP, mariadb-server)");
        const QString stop = u"PATH=/usr/sbin:/usr/bin:/sbin:/bin; "
                             "for s in apache2 mariadb php8.2-fpm; do service $s stop; done; "_s;
        QVERIFY(ok(stop + u"mkdir saved && cp -a /etc/apache2 /etc/php saved"_s));
        const auto restore = qScopeGuard([&, ownPath = qgetenv("PATH")] {
            qputenv("PATH", ownPath);
            Sh(stop +
               u"rm -rf /etc/apache2 /etc/php /srv/brellimar-ci && cp -a saved/* /etc && rm -r saved"_s);
        });
        qputenv("PATH", "/usr/sbin:/usr/bin:/sbin:/bin"); // the real service scripts, not the stand-in
        QVERIFY(ok(u"mkdir -p /srv/brellimar-ci && cp site/index.php /srv/brellimar-ci && "_s + php));
        QCOMPARE(applyThroughWindow("aStart", u"/srv/brellimar-ci"_s, u"/etc/apache2"_s), Done(phpIni));
        // PHP-FPM, where it runs PHP, restarted to read display_errors = On; no other php.ini changed.
        QCOMPARE(
            Sh(u"curl -s -w ' %{http_code}' 127.0.0.1/ && mariadb-admin ping && diff -qr saved/php /etc/php"_s)
                .output,
            u"site, display_errors=1 200mysqld is alive\nFiles saved%1 and /etc%1 differ\n"_s.arg(
                phpIni.mid(4)));
    }

    void cleanupTestCase() { Sh(u"bin/service apache2 stop; bin/service mysql stop; pkill -KILL -f $PWD"_s); }
};

QTEST_MAIN(TestWholeSystem)
#include "tst_wholesystem.moc"
