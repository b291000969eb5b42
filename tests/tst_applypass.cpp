// SPDX-License-Identifier: MIT
// The apply pass without a window: what it changes, runs and reports; and the message made of it.
#include "app/applypass.h"
#include "app/passmessage.h"
#include "config/apachesyntax.h"
#include "testutil.h"

#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#define BRELLIMAR_TEST_HTTPD "" // a stand-in for Apache's program is built for Windows only
#endif

using namespace app;
using namespace services;
using namespace testutil;
using Status = CommandOutcome::Status;
using Outcome = PassReport::Outcome;

// Apache's lines refusing a configuration.
const QStringList kRefusal{"AH00526: Syntax error on line 25 of httpd.conf:",
                           "DocumentRoot must be a directory"};

// The status texts of a pass that changes the files, and of one that then starts both services.
const QStringList kFiles{"正在设置文件:php.ini", "正在设置文件:httpd.conf", ""};
const QStringList kStart{"正在启动服务:Apache2", "net start apache2 | 正在启动服务:Apache2",
                         "正在启动服务:Mysql", "net start mysql | 正在启动服务:Mysql"};
const QStringList kStarted = kFiles + kStart + QStringList{""};
const QStringList kAll{"php.ini", "httpd.conf", "site"};
const QString kMainOnly = "VirtualHost configuration:\nServerRoot: \"/srv\"\nMain DocumentRoot: \"/srv/x\"\n";
const QString kNotSetRoot =
    "httpd.conf 中没有有效的 DocumentRoot 行（只有被注释掉的行，Apache 不读），主目录没有设置。";

// Apache's program where Windows and Unix builds have it, in an Apache folder; it judges as runProgram
// answers.
static bool AddApacheProgram(const QString& folder)
{
    return QDir(folder).mkdir("bin") && WriteAll(folder + "/bin/httpd.exe", "") &&
           WriteAll(folder + "/bin/httpd", "");
}

// What a row does to an Apache folder as installed (apache in a scratch folder) before the pass.
using Arrange = std::function<bool(const QString& folder)>;

// A pass with the same action on Apache and MySQL, on an installation as users have it (Listen
// 127.0.0.1:8080), with Apache's program judging the change or without it; what it does and says.
struct PassRow
{
    Arrange arrange = AddApacheProgram; // the installation's own shape or fault
    QString phpIni = "apache/php.ini";  // the php.ini PHP reads, under the scratch folder
    QList<bool> accepts{true, true};    // what Apache's test says before the change and after it
    ServiceAction action = ServiceAction::Start;
    bool showErrors = true;
    bool running{};                        // the service manager reports Apache running, before and after
    QStringList failing{};                 // the commands that fail
    QString file{};                        // a file in the new root before the pass (none: no folder)
    int page = 200;                        // what Apache answers for the new root (0: nothing)
    QString listing = kMainOnly;           // Apache's list of its virtual hosts
    QStringList log = kStarted;            // status texts, and commands with the status they ran under
    QStringList changed = kAll;            // the files changed, and the new root there after the pass
    QStringList options{"-t", "-t", "-S"}; // Apache's program as it ran, each time its first option
    bool asked = true;                     // the new root was asked for
    QList<quint16> ports{};                // whose holders were asked for, in order
    QString message = "设置已完成！";      // what the user is told (%1: php.ini, %2: httpd.conf)
};

// The pass's seams for a row: commands answered by runner and logged with the status texts; the new
// root served.
ApplyPassSeams Seams(FakeRunner& runner)
{
    ApplyPassSeams seams;
    seams.setStatus = [&runner](const QString& text) { runner.Show(text); };
    seams.runner = &runner;
    seams.requestPage = [](const QUrl&) { return PageAnswer{200, {}}; };
    return seams;
}

// /etc/httpd as Fedora's httpd and php-fpm packages lay it out, under @p root (etc/, usr/sbin/, var/www/):
// conf/httpd.conf including conf.modules.d/*.conf and conf.d/*.conf, PHP handed to PHP-FPM's www pool
// by conf.d/php.conf, /etc/php.ini. Debian's Apache stands in for httpd (its modules for modules/), and
// usr/sbin/php-fpm answers -i as PHP-FPM does. Apache listens on 127.0.0.1:port.
static bool MakeFedoraTree(const QString& root, quint16 port)
{
    // clang-format off
    const std::vector<std::pair<QString, QString>> files{
        {"etc/httpd/conf/httpd.conf", "ServerRoot \"%1/etc/httpd\"\nListen 127.0.0.1:%2\n"
         "Include conf.modules.d/*.conf\n<Directory />\n    AllowOverride none\n    Require all denied\n</Directory>\n"
         "DocumentRoot \"%1/var/www/html\"\n<Directory \"%1/var/www\">\n    AllowOverride None\n"
         "    Require all granted\n</Directory>\n<IfModule dir_module>\n    DirectoryIndex index.html\n"
         "</IfModule>\nErrorLog \"logs/error_log\"\nIncludeOptional conf.d/*.conf\n"},
        {"etc/httpd/conf.modules.d/00-base.conf", "LoadModule authz_core_module modules/mod_authz_core.so\n"
         "LoadModule dir_module modules/mod_dir.so\nLoadModule mime_module modules/mod_mime.so\n"},
        {"etc/httpd/conf.modules.d/00-mpm.conf", "LoadModule mpm_event_module modules/mod_mpm_event.so\n"},
        {"etc/httpd/conf.modules.d/00-proxy.conf",
         "LoadModule proxy_module modules/mod_proxy.so\nLoadModule proxy_fcgi_module modules/mod_proxy_fcgi.so\n"},
        {"etc/httpd/conf.d/php.conf", "AddType text/html .php\nDirectoryIndex index.php\n<IfModule !mod_php5.c>\n"
         "  <IfModule !mod_php7.c>\n    <IfModule !mod_php.c>\n      <FilesMatch \\.(php|phar)$>\n"
         "        SetHandler \"proxy:unix:/run/php-fpm/www.sock|fcgi://localhost\"\n      </FilesMatch>\n"
         "    </IfModule>\n  </IfModule>\n</IfModule>\n"},
        {"etc/php-fpm.d/www.conf", "[www]\nuser = apache\ngroup = apache\nlisten = /run/php-fpm/www.sock\n"},
        {"etc/php.ini", "[PHP]\ndisplay_errors = Off\n"},
        {"usr/sbin/php-fpm", "#!/bin/sh\n[ \"$1\" = -i ] && echo 'Loaded Configuration File => %1/etc/php.ini'\n"}};
    // clang-format on
    const QDir dir(root);
    for (const auto& [name, content] : files) {
        const QString text = QString(content).replace("%1", root).replace("%2", QString::number(port));
        if (!dir.mkpath(QFileInfo(name).path()) || !WriteAll(dir.filePath(name), text.toUtf8()))
            return false;
    }
    return dir.mkpath("etc/httpd/logs") && dir.mkpath("etc/httpd/run") && dir.mkpath("var/www/html") &&
           QFile::setPermissions(dir.filePath("usr/sbin/php-fpm"), QFile::ReadOwner | QFile::ExeOwner) &&
           QFile::link("/usr/lib/apache2/modules", dir.filePath("etc/httpd/modules")) &&
           QFile::link("/usr/sbin/apache2", dir.filePath("usr/sbin/httpd"));
}

class TestApplyPass : public QObject
{
    Q_OBJECT

  private slots:
    void pass_data()
    {
        QTest::addColumn<PassRow>("row");
        const auto conf = [](const QByteArray& text) {
            return [text](const QString& folder) { return WriteAll(folder + "/conf/httpd.conf", text); };
        };
        const Arrange confIsFolder = [](const QString& folder) {
            return QFile::remove(folder + "/conf/httpd.conf") && QDir(folder).mkdir("conf/httpd.conf");
        };
        // clang-format off
        // As XAMPP ships it: php.ini in PHP's folder beside Apache's, named by PHPIniDir in an included file.
        const Arrange xampp = [](const QString& folder) {
            const QString php = QFileInfo(folder).path() + "/php", conf = folder + "/conf/httpd.conf";
            return QDir().mkpath(php) && QFile::rename(folder + "/php.ini", php + "/php.ini") &&
                   WriteAll(conf, ReadAll(conf) + "Include \"conf/extra/httpd-xampp.conf\"\r\n") &&
                   QDir(folder).mkpath("conf/extra") && WriteAll(folder + "/conf/extra/httpd-xampp.conf",
                       "<IfModule php_module>\r\n    PHPIniDir \"" + php.toUtf8() + "\"\r\n</IfModule>\r\n");
        };
        // .php handed to PHP-FPM's socket; Debian's php8.2-fpm beside Apache, its pool listening on listen.
        const auto fpm = [](const QByteArray& listen) {
            return [listen](const QString& folder) {
                const QString fpm = QFileInfo(folder).path() + "/php/8.2/fpm", conf = folder + "/conf/httpd.conf";
                return AddApacheProgram(folder) && QDir().mkpath(fpm + "/pool.d") &&
                       WriteAll(fpm + "/pool.d/www.conf", "[www]\nlisten = " + listen) &&
                       WriteAll(fpm + "/php.ini", "display_errors = Off\r\n") &&
                       WriteAll(conf, ReadAll(conf) + "LoadModule proxy_fcgi_module modules/mod_proxy_fcgi.so\r\n"
                                "<FilesMatch \\.php$>\r\nSetHandler \"proxy:unix:/run/php/php8.2-fpm.sock|fcgi://"
                                "localhost\"\r\n</FilesMatch>\r\n");
            };
        };
        using A = ServiceAction;
        const QByteArray sock = "/run/php/php8.2-fpm.sock";
        const QString fpmIni = "php/8.2/fpm/php.ini", named = "\n修改的是 PHP 读取的 php.ini：%1";
        const QString done = "设置已完成！", but = "文件已修改，服务命令已执行，但：\n";
        const QString unserved = but + "新主目录没有正常打开：http://127.0.0.1:8080/ 的回答是 ";
        const QString noIndex = done + "\n新主目录里还没有首页文件（index.php index.html）";
        const QString failed = "设置已应用，但以下服务命令没有成功：\n", refusal = "\n    " + kRefusal.join("\n    ");
        const QString missing = "需要修改的配置文件没有找到，请检查\"Apache安装所在的目录\"是否指定正确。";
        const auto untouched = [](const Arrange& arrange, const QString& message) { // stopped before the files
            return PassRow{.arrange = arrange, .log = {}, .changed = {}, .options = {}, .asked = false,
                           .message = message};
        };
        const QStringList restarted = kFiles + QStringList{"正在重启服务:Apache2", "net stop apache2 | 正在重启服务:Apache2",
            "net start apache2 | 正在重启服务:Apache2", "正在重启服务:Mysql", "net stop mysql | 正在重启服务:Mysql",
            "net start mysql | 正在重启服务:Mysql", ""};
        const QStringList stopped = kFiles + QStringList{"正在停止服务:Apache2", "net stop apache2 | 正在停止服务:Apache2",
            "正在停止服务:Mysql", "net stop mysql | 正在停止服务:Mysql", ""};
        const QStringList fpmRestarted{"正在重启服务:PHP-FPM", "net stop php8.2-fpm | 正在重启服务:PHP-FPM",
                                       "net start php8.2-fpm | 正在重启服务:PHP-FPM", ""};
        QTest::newRow("no live DocumentRoot: still applied, the setting named")
            << PassRow{.arrange = conf("#DocumentRoot /old\r\n    DirectoryIndex index.html\r\n"), .options = {},
                       .asked = false, .message = "文件已修改，但以下设置没有生效：\n" + kNotSetRoot};
        QTest::newRow("httpd.conf not rewritable: no folder, no command")
            << PassRow{.arrange = conf(QByteArray("\xff\xfe#\0", 4)), .log = kFiles, .changed = {"php.ini"},
                       .options = {}, .asked = false, .message = "无法修改配置文件\"%2\"："
                       "文件是 UTF-16 编码，不是 8 位文本，不能修改\n设置没有全部完成，服务没有启动或停止。"};
        QTest::newRow("httpd.conf a folder: missing, nothing touched") << untouched(confIsFolder, missing);
#ifdef Q_OS_WIN
        const Arrange hidden = [](const QString& folder) {
            const QString path = folder + "/php.ini";
            return ::SetFileAttributesW(reinterpret_cast<LPCWSTR>(path.utf16()), FILE_ATTRIBUTE_HIDDEN) != 0;
        };
        QTest::newRow("hidden php.ini: missing") << untouched(hidden, missing);
#endif
        QTest::newRow("XAMPP: the php.ini PHPIniDir names is changed, the message names it")
            << PassRow{.arrange = xampp, .phpIni = "php/php.ini", .options = {}, .message = done + named};
        QTest::newRow("Apache refuses the change: all put back, no command")
            << PassRow{.accepts = {true, false}, .log = kFiles, .changed = {}, .options = {"-t", "-t"}, .asked = false,
                       .message = "设置没有应用：Apache 不接受修改后的配置，文件已恢复原样，服务没有启动或停止。"
                                  "Apache 的说明：" + refusal};
        QTest::newRow("Apache refused before the change too: applied, its lines kept")
            << PassRow{.accepts = {false, false}, .message = but + "修改之前 Apache 的配置就有错误：" + refusal};
        QTest::newRow("a virtual host on another port, a redirect: the main server serves the new root")
            << PassRow{.page = 302, .listing = "VirtualHost configuration:\n*:80   localhost (/srv/vhosts.conf:3)\n"};
        QTest::newRow("a virtual host of another file answers instead")
            << PassRow{.listing = "VirtualHost configuration:\n*:8080   is a NameVirtualHost\n    default server "
                       "localhost (/srv/vhosts.conf:23)\n    port 8080 namevhost localhost (/srv/vhosts.conf:23)\n",
                       .message = but + "在这个地址上回答的是 /srv/vhosts.conf:23 的虚拟主机，不是刚设置的主目录。"};
        QTest::newRow("no answer, explained") << PassRow{.page = 0, .message = unserved + "没有回应（Connection refused）"};
        QTest::newRow("start of a running Apache: nothing new to ask")
            << PassRow{.running = true, .asked = false,
                       .message = but + "Apache 已经在运行，它要重启后才会读取新的设置：请选择“重启”再应用一次。"};
        QTest::newRow("restart of a running Apache: asked, a 404 beside the index page explained")
            << PassRow{.action = A::Restart, .running = true, .file = "index.php", .page = 404, .log = restarted,
                       .message = unserved + "404 Forbidden"};
        QTest::newRow("starts failed: who holds Apache's Listen port, and MySQL's 3306")
            << PassRow{.failing = {"net start apache2", "net start mysql"}, .asked = false, .ports = {8080, 3306},
                       .message = failed + "net start apache2：退出码 0\n    端口 8080 已被 PID 77 占用\n    端口 8080 已被另一个"
                       "程序占用\nnet start mysql：退出码 0\n    端口 3306 已被 PID 77 占用\n    端口 3306 已被另一个程序占用"};
        QTest::newRow("restart: a failed stop asks nobody")
            << PassRow{.action = A::Restart, .running = true, .failing = {"net stop apache2", "net stop mysql"},
                       .log = restarted, .asked = false,
                       .message = failed + "net stop apache2：退出码 0\nnet stop mysql：退出码 0"};
        QTest::newRow("no index page, 404: said plainly") << PassRow{.page = 404, .message = noIndex};
        QTest::newRow("no index page, 403: said plainly")
            << PassRow{.file = "notes.txt", .page = 403, .message = noIndex};
        QTest::newRow("403 with index.html: a fault")
            << PassRow{.file = "index.html", .page = 403, .message = unserved + "403 Forbidden"};
        QTest::newRow("no index page, 500: a fault") << PassRow{.page = 500, .message = unserved + "500 Forbidden"};
        QTest::newRow("PHP-FPM's php.ini changed: PHP-FPM restarted after Apache and MySQL")
            << PassRow{.arrange = fpm(sock), .phpIni = fpmIni, .log = kFiles + kStart + fpmRestarted,
                       .message = done + named};
        QTest::newRow("PHP-FPM's php.ini unchanged: no restart")
            << PassRow{.arrange = fpm(sock), .phpIni = fpmIni, .showErrors = false, .changed = {"httpd.conf", "site"}};
        QTest::newRow("stop: nothing asked, PHP-FPM reads its php.ini when it next starts")
            << PassRow{.arrange = fpm(sock), .phpIni = fpmIni, .action = A::Stop, .log = stopped, .asked = false,
                       .message = done + named + "\nPHP-FPM 下次启动时才会读取修改后的 php.ini。"};
        QTest::newRow("no PHP-FPM pool listens there: missing")
            << untouched(fpm("9001"), "需要修改的 php.ini 没有找到：Apache 把 .php 文件交给 PHP-FPM（unix:/run/php/"
                         "php8.2-fpm.sock），但没有找到在那里监听的 PHP-FPM，或它没有说出它读取的 php.ini。");
        // clang-format on
    }

    void pass()
    {
        QFETCH(PassRow, row);
        QTemporaryDir dir;
        const QString folder = dir.filePath("apache"), conf = folder + "/conf/httpd.conf",
                      ini = dir.filePath(row.phpIni), site = dir.filePath("site");
        QVERIFY(MakeApacheFolder(folder, 8080) && row.arrange(folder) &&
                (row.file.isEmpty() || (QDir().mkdir(site) && WriteAll(site + '/' + row.file, ""))));
        const QByteArray iniBefore = ReadAll(ini), confBefore = ReadAll(conf);
        FakeRunner runner;
        runner.running = row.running;
        for (const QString& command : row.failing)
            runner.answers[command].status = Status::Failed;
        ApplyPassSeams seams = Seams(runner);
        seams.packageFolders = {dir.filePath("php"), {}, dir.filePath("sbin")};
        QStringList trimmed, runs, urls;
        QList<quint16> ports;
        seams.documentRootTrimmed = [&](const QString& documentRoot) { trimmed << documentRoot; };
        qsizetype tests = 0;
        seams.runProgram = [&](const config::ApacheInvocation& run) { // and php-fpm8.2 -i as it answers
            runs << QFileInfo(run.program).path() + ' ' + run.arguments.join(' ');
            CommandOutcome outcome;
            if (run.program == dir.filePath("sbin/php-fpm8.2") && run.arguments == QStringList{"-i"})
                outcome.output = "Loaded Configuration File => " + dir.filePath("php/8.2/fpm/php.ini") + '\n';
            else if (run.arguments[0] == "-S")
                outcome.output = row.listing;
            else if (run.arguments[0] == "-t" && !row.accepts.value(tests++))
                outcome = {Status::Failed, 1, kRefusal.join('\n') + '\n', {}, false, {}, false};
            return outcome;
        };
        seams.requestPage = [&](const QUrl& url) {
            urls << url.toString();
            return PageAnswer{row.page, row.page ? "Forbidden" : "Connection refused"};
        };
        seams.portHolders = [&ports](quint16 port) {
            ports << port;
            return std::vector<platform::PortHolder>{{77, "", false},
                                                     {0, "", false}}; // its name unknown, or more
        };
        const PassReport report = ApplyPass(seams).run(
            {site, "index.php  index.html", folder, row.showErrors, row.action, row.action});

        QCOMPARE(ComposeMessage(report), QString(row.message)
                                             .replace("%1", QDir::toNativeSeparators(ini))
                                             .replace("%2", QDir::toNativeSeparators(conf)));
        QCOMPARE(runner.log, row.log);
        QStringList changed{ReadAll(ini) != iniBefore ? "php.ini" : "",
                            ReadAll(conf) != confBefore ? "httpd.conf" : "",
                            QFileInfo(site).isDir() ? "site" : ""};
        changed.removeAll("");
        QCOMPARE(changed, row.changed);
        QCOMPARE(report.folderCreated, row.file.isEmpty() && row.changed.contains("site"));
        QCOMPARE(urls, row.asked ? QStringList{"http://127.0.0.1:8080/"} : QStringList());
        QCOMPARE(ports, row.ports);
        // The trimmed root goes back to the window once the files are found.
        QCOMPARE(trimmed, row.log.isEmpty() ? QStringList() : QStringList{site});
        // Apache's program judges the installation's own httpd.conf each time.
        QStringList expected;
        for (const QString& option : row.options)
            expected << folder + "/bin " + option + " -f " + QDir::toNativeSeparators(conf);
        QCOMPARE(runs.filter(" -f "), expected);
        for (const QString& kept :
             {folder, folder + "/conf"}) // the originals kept: put back or no longer needed
            QCOMPARE(QDir(kept).entryList({"*.brellimar-*"}), QStringList());
    }

    void apacheProgram()
    {
        // Windows' stand-in for Apache's program run for real, a root under a missing Chinese folder: it
        // refuses the change in its own words, read as it writes them, and all is put back.
#ifndef Q_OS_WIN
        QSKIP("a stand-in for Apache's program is built for Windows only");
#endif
        QTemporaryDir dir;
        const QString folder = dir.filePath("apache"), conf = folder + "/conf/httpd.conf",
                      ini = folder + "/php.ini", root = dir.filePath("缺少/站点");
        QVERIFY(MakeApacheFolder(folder) && QDir(folder).mkdir("bin") &&
                WriteAll(folder + "/bin/httpd.exe", ReadAll(BRELLIMAR_TEST_HTTPD)));
        const QByteArray iniBefore = ReadAll(ini), confBefore = ReadAll(conf);
        FakeRunner runner;
        const PassReport report =
            ApplyPass(Seams(runner))
                .run({root, "index.php", folder, true, ServiceAction::Start, ServiceAction::Start});
        QVERIFY(ReadAll(ini) == iniBefore && ReadAll(conf) == confBefore && !QFileInfo::exists(root));
        const QString run = "-t -f " + QDir::toNativeSeparators(conf) + '\n'; // noted beside it, each time
        QCOMPARE(QString::fromUtf8(ReadAll(folder + "/bin/httpd.exe.log")), run + run);
        QCOMPARE(report.testAfter->lines,
                 QStringList({"AH00526: Syntax error on line 26 of " + QDir::toNativeSeparators(conf) + ':',
                              "DocumentRoot '" + root + "' is not a directory, or is not readable"}));
    }

    void pageAddress_data()
    {
        QTest::addColumn<QStringList>("listen"); // the Listen lines' arguments, in Apache's order
        QTest::addColumn<QString>("url");
        QTest::newRow("wildcard addresses: this machine")
            << QStringList{"0.0.0.0:8080", "*:81"} << "http://127.0.0.1:8080/";
        QTest::newRow("IPv6 wildcard: its loopback") << QStringList{"[::]:8000"} << "http://[::1]:8000/";
        QTest::newRow("an address of its own")
            << QStringList{"192.0.2.7:8081 http"} << "http://192.0.2.7:8081/";
        QTest::newRow("https skipped, by port or by protocol")
            << QStringList{"443", "8443 https", "  8080  "} << "http://127.0.0.1:8080/";
        QTest::newRow("only https: nothing to ask") << QStringList{"443"} << "";
        // clang-format on
    }

    void pageAddress()
    {
        QFETCH(QStringList, listen);
        QFETCH(QString, url);
        QCOMPARE(services::PageAddress(listen).toString(), url);
    }

    void message_data()
    {
        QTest::addColumn<PassReport>("report");
        QTest::addColumn<QString>("message");
        const auto record = [](Status status, int exitCode, const QString& output, const QString& reason,
                               bool stillRunning = false, const QStringList& logLines = {}) {
            const CommandOutcome outcome{status, exitCode, output, reason, stillRunning, logLines, false};
            return CommandRecord{Command(Service::Apache, Verb::Start), "service apache2 start", outcome};
        };
        // clang-format off
        const auto values = [](const QString& root, const QString& index) { // checked as the pass does
            const std::optional<config::ValueProblem> refused = config::CheckValues(root, index);
            return PassReport{.outcome = refused ? Outcome::ValueRefused : Outcome::Applied, .refused = refused};
        };
        const CommandRecord ok = record(Status::Succeeded, 0, "started", {});
        const QString notRestored = "/x/php.ini：Read-only file system（原来的内容保存在 /x/php.ini.brellimar-1）";
        QTest::newRow("settings without a line; every kind of failed command, Apache's log lines below its own")
            << PassReport{.outcome = Outcome::Applied, .notSet = {"DocumentRoot", "DirectoryIndex"}, .commands = {
                   record(Status::FailedToStart, 0, {}, "execvp: No such file or directory"),
                   record(Status::Failed, 1, "\n  apache2: failed \n", {}, false,
                          {"AH00072: make_sock: could not bind", "AH00451: no listening sockets"}),
                   record(Status::Failed, 0, "Starting\nAction 'start' failed.", "Action 'start' failed."),
                   record(Status::Failed, 2, {}, {}), ok, record(Status::Crashed, -1, {}, "Process crashed"),
                   record(Status::TimedOut, -1, {}, {}), record(Status::TimedOut, -1, {}, {}, true),
                   record(Status::NotSupported, 0, {}, {})}}
            << "以下设置没有生效：\n" + kNotSetRoot + "\nhttpd.conf 中没有有效的 DirectoryIndex 行（只有被注释掉的行，"
               "Apache 不读），服务器默认首页没有设置。\n其余设置已应用，但以下服务命令没有成功：\n"
               "service apache2 start：无法启动（execvp: No such file or directory）\n"
               "service apache2 start：退出码 1（apache2: failed）\n"
               "    AH00072: make_sock: could not bind\n    AH00451: no listening sockets\n"
               "service apache2 start：退出码 0（Action 'start' failed.）\nservice apache2 start：退出码 2\n"
               "service apache2 start：异常终止\nservice apache2 start：超时未结束，已被终止\n"
               "service apache2 start：超时未结束，也无法终止\nservice apache2 start：此系统不支持该操作";
        QTest::newRow("a failed command's reason: the lines a colon announces, each cut at 200")
            << PassReport{.outcome = Outcome::Applied, .commands = {
                   record(Status::Failed, 1, "AH00526: Syntax error on line 37 of /x/httpd.conf:\r\n"
                          "DocumentRoot '/nonexistent/x' is not a directory:\n\nB:\n" + QString(201, 'x') +
                          ":\nnot announced\n", {}),
                   record(Status::Failed, 1, "Starting mariadbd failed\nroot 1 ps listing\n", {})}}
            << "设置已应用，但以下服务命令没有成功：\n"
               "service apache2 start：退出码 1（AH00526: Syntax error on line 37 of /x/httpd.conf:）\n"
               "    DocumentRoot '/nonexistent/x' is not a directory:\n    B:\n    " + QString(200, 'x') +
               "\nservice apache2 start：退出码 1（Starting mariadbd failed）";
        QTest::newRow("Apache refused the change; a file not put back")
            << PassReport{.outcome = Outcome::Rejected, .testAfter = PassReport::ApacheTest{false, kRefusal},
                          .notRestored = {notRestored}}
            << "设置没有应用：Apache 不接受修改后的配置，文件已恢复原样，服务没有启动或停止。Apache 的说明：\n    " +
               kRefusal.join("\n    ") + "\n以下文件没能恢复：\n    " + notRestored;
        QTest::newRow("a port held by http.sys, before Apache's lines")
            << PassReport{.outcome = Outcome::Applied, .commands = {record(Status::Failed, 2, {}, {}, false, {"AH1"})},
                          .portsTaken = {{Service::Apache, 80, {4, "System", true}}}}
            << "设置已应用，但以下服务命令没有成功：\nservice apache2 start：退出码 2\n    端口 80 已被 System (PID 4) "
               "占用：这是 Windows 自己的 HTTP 服务（http.sys），IIS 等程序通过它使用端口\n    AH1";
        QTest::newRow("new root forbidden: Apache's reason, the folder its user cannot enter; php.ini, MySQL used")
            << PassReport{.outcome = Outcome::Applied, .commands = {ok}, .site = PassReport::SiteCheck{
                   QUrl("http://127.0.0.1:80/"), {403, "Forbidden"}, {"AH01630: client denied: /srv/"}, "/home/me"},
                   .serviceNote = "找到多个 MySQL 服务，使用了 MySQL80。", .phpIniElsewhere = "C:\\xampp\\php\\php.ini"}
            << "文件已修改，服务命令已执行，但：\n新主目录没有正常打开：http://127.0.0.1:80/ 的回答是 403 Forbidden\n"
               "    AH01630: client denied: /srv/\nApache 的运行用户无法进入文件夹“/home/me”。"
               "\n修改的是 PHP 读取的 php.ini：C:\\xampp\\php\\php.ini\n找到多个 MySQL 服务，使用了 MySQL80。";
        QTest::newRow("values: ordinary, Chinese, root ending in a backslash: accepted")
            << values(QStringLiteral("D:\\网站\\"), "index.php a\\\\") << "设置已完成！";
        const QString root = "主目录", index = "服务器默认首页", lineBreak = "不能包含换行符或空字符，请重新输入。";
        QTest::newRow("values: LF in root") << values("/a\nServerName evil", "i") << root + lineBreak;
        QTest::newRow("values: CR in index") << values("/a", "i\rx") << index + lineBreak;
        QTest::newRow("values: NUL in root") << values(QString("/a") + QChar(u'\0'), "i") << root + lineBreak;
        QTest::newRow("values: blank index") << values("/a", "   ") << index + "不能为空，请重新输入。";
        QTest::newRow("values: index ends in backslash")
            << values("/a", "index.php \\") << index + "不能以反斜杠“\\”结尾（Apache 会把下一行接到它后面），请重新输入。";
        QTest::newRow("values: lone surrogate")
            << values("i", QString("a") + QChar(0xdc00)) << index + "包含配置文件的编码无法表示的字符，请重新输入。";
        // clang-format on
    }

    void message()
    {
        QFETCH(PassReport, report);
        QFETCH(QString, message);
        QCOMPARE(ComposeMessage(report), message);
    }

    void fedoraPass()
    {
        // Fedora's /etc/httpd with its PHP-FPM, Debian's apache2 as httpd testing the change for real.
        if (!QFile::exists("/usr/sbin/apache2") || QSysInfo::kernelType() == "winnt")
            QSKIP("needs Debian's apache2 to stand in for httpd, and POSIX");
        QTemporaryDir dir;
        QVERIFY(MakeFedoraTree(dir.path(), 8));
        FakeRunner runner;
        ApplyPassSeams seams = Seams(runner);
        seams.packageFolders = {dir.filePath("etc/php"), dir.filePath("etc/php-fpm.d"),
                                dir.filePath("usr/sbin")};
        const PassReport report = ApplyPass(seams).run({dir.filePath("var/www/site"), "index.php index.html",
                                                        dir.filePath("etc/httpd"), true,
                                                        ServiceAction::Restart, ServiceAction::Start});
        QCOMPARE(ComposeMessage(report),
                 "设置已完成！\n修改的是 PHP 读取的 php.ini：" + dir.filePath("etc/php.ini"));
        QCOMPARE(
            runner.log.filter(" | "),
            QStringList({"net stop httpd | 正在重启服务:Apache2", "net start httpd | 正在重启服务:Apache2",
                         "net start mariadb | 正在启动服务:Mysql", "net stop php-fpm | 正在重启服务:PHP-FPM",
                         "net start php-fpm | 正在重启服务:PHP-FPM"}));
        QCOMPARE(ReadAll(dir.filePath("etc/php.ini")), "[PHP]\r\ndisplay_errors = On\r\n");
        QVERIFY(report.testAfter && report.testAfter->passed); // httpd accepts the changed tree
        QVERIFY(ReadAll(dir.filePath("etc/httpd/conf/httpd.conf"))
                    .contains("\r\nDirectoryIndex index.php index.html\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestApplyPass)
#include "tst_applypass.moc"
