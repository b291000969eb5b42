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
const QStringList kStarted =
    kFiles + QStringList{"正在启动服务:Apache2", "net start apache2 | 正在启动服务:Apache2",
                         "正在启动服务:Mysql", "net start mysql | 正在启动服务:Mysql", ""};
const QStringList kAll{"php.ini", "httpd.conf", "site"};

// What a row does to an Apache folder as installed (xampp/apache in a scratch folder) before the pass.
using Arrange = std::function<bool(const QString& folder)>;

// A pass on an installation as users have it, with Apache's program judging the change or without it.
struct FilesRow
{
    Arrange arrange{};     // the installation's own shape or fault
    QString phpIni{};      // the php.ini PHP reads, under the scratch folder
    QList<bool> accepts{}; // what Apache's test says before the change and after it (none: not run)
    Outcome outcome{};     // what the pass ends in
    QStringList log{};     // status texts, and commands with the status they ran under
    QStringList changed{}; // the files changed and the folder made
    QStringList notSet{};  // the settings no line took
    QStringList options{}; // Apache's program as it ran, each time its first option
    QStringList refusal{}; // what the report gives of Apache refusing the changed configuration
};

// The installation after a pass: what of php.ini, httpd.conf and the site folder it changed or made.
QStringList Changed(const QString& ini, const QByteArray& iniBefore, const QString& conf,
                    const QByteArray& confBefore, const QString& site)
{
    QStringList changed{ReadAll(ini) != iniBefore ? "php.ini" : "",
                        ReadAll(conf) != confBefore ? "httpd.conf" : "",
                        QFileInfo(site).isDir() ? "site" : ""};
    changed.removeAll("");
    return changed;
}

// The pass's seams for a row: commands answered by runner and logged with the status texts; the new
// root answering with page's status.
ApplyPassSeams Seams(FakeRunner& runner, int page = 200)
{
    ApplyPassSeams seams;
    seams.setStatus = [&runner](const QString& text) { runner.Show(text); };
    seams.runner = &runner;
    seams.requestPage = [page](const QUrl&) { return PageAnswer{page, "Forbidden"}; };
    return seams;
}

// The window's values for a pass with both services started.
SettingsState Settings(const QString& documentRoot, const QString& apacheFolder)
{
    return {documentRoot, "index.php", apacheFolder, true, ServiceAction::Start, ServiceAction::Start};
}

// The action on Apache and MySQL and what follows it.
struct AfterRow
{
    ServiceAction action{}; // on Apache and on MySQL
    bool running{};         // the service manager reports Apache running, before the commands and after
    QStringList failing{};  // the commands that fail
    int page{};             // what Apache answers for the new root (0: nothing)
    bool asked{};           // the new root was asked for
    bool explained{};       // the report explains a page not served
    QString listing{};      // Apache's list of its virtual hosts
    QString otherHost{};    // the virtual host said to answer instead
    QList<quint16> ports{}; // whose holders were asked for, in order
};

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
    for (const auto& [name, content] : files)
        if (!dir.mkpath(QFileInfo(name).path()) ||
            !WriteAll(dir.filePath(name),
                      QString(content).replace("%1", root).replace("%2", QString::number(port)).toUtf8()))
            return false;
    return dir.mkpath("etc/httpd/logs") && dir.mkpath("etc/httpd/run") && dir.mkpath("var/www/html") &&
           QFile::setPermissions(dir.filePath("usr/sbin/php-fpm"), QFile::ReadOwner | QFile::ExeOwner) &&
           QFile::link("/usr/lib/apache2/modules", dir.filePath("etc/httpd/modules")) &&
           QFile::link("/usr/sbin/apache2", dir.filePath("usr/sbin/httpd"));
}

// Apache's program where Windows and Unix builds have it, in an Apache folder; it judges as runProgram
// answers.
static bool AddApacheProgram(const QString& folder)
{
    return QDir(folder).mkdir("bin") && WriteAll(folder + "/bin/httpd.exe", "") &&
           WriteAll(folder + "/bin/httpd", "");
}

class TestApplyPass : public QObject
{
    Q_OBJECT

  private slots:
    void files_data()
    {
        QTest::addColumn<FilesRow>("row");
        const auto conf = [](const QByteArray& text) {
            return [text](const QString& folder) { return WriteAll(folder + "/conf/httpd.conf", text); };
        };
        const Arrange confIsFolder = [](const QString& folder) {
            return QFile::remove(folder + "/conf/httpd.conf") && QDir(folder).mkdir("conf/httpd.conf");
        };
        // As XAMPP ships it: php.ini in PHP's folder beside Apache's, named by PHPIniDir in an included file.
        const Arrange xampp = [](const QString& folder) {
            const QString php = QFileInfo(folder).path() + "/php", conf = folder + "/conf/httpd.conf";
            return QDir().mkpath(php) && QFile::rename(folder + "/php.ini", php + "/php.ini") &&
                   WriteAll(conf, ReadAll(conf) + "Include \"conf/extra/httpd-xampp.conf\"\r\n") &&
                   QDir(folder).mkpath("conf/extra") &&
                   WriteAll(folder + "/conf/extra/httpd-xampp.conf",
                            "<IfModule php_module>\r\n    PHPIniDir \"" + php.toUtf8() +
                                "\"\r\n</IfModule>\r\n");
        };
        const QString ini = "xampp/apache/php.ini";
        // clang-format off
        QTest::newRow("no live DocumentRoot: still applied, the setting named")
            << FilesRow{.arrange = conf("#DocumentRoot /old\r\n    DirectoryIndex index.html\r\n"), .phpIni = ini,
                        .outcome = Outcome::Applied, .log = kStarted, .changed = kAll, .notSet = {"DocumentRoot"}};
        QTest::newRow("httpd.conf not rewritable: no folder, no command")
            << FilesRow{.arrange = conf(QByteArray("\xff\xfe#\0", 4)), .phpIni = ini,
                        .outcome = Outcome::FileNotChanged, .log = kFiles, .changed = {"php.ini"}};
        QTest::newRow("httpd.conf a folder: missing, nothing touched")
            << FilesRow{.arrange = confIsFolder, .phpIni = ini, .outcome = Outcome::FilesMissing};
#ifdef Q_OS_WIN
        const Arrange hidden = [](const QString& folder) {
            const QString path = folder + "/php.ini";
            return ::SetFileAttributesW(reinterpret_cast<LPCWSTR>(path.utf16()), FILE_ATTRIBUTE_HIDDEN) != 0;
        };
        QTest::newRow("hidden php.ini: missing")
            << FilesRow{.arrange = hidden, .phpIni = ini, .outcome = Outcome::FilesMissing};
#endif
        QTest::newRow("XAMPP: the php.ini PHPIniDir names is changed, the message names it")
            << FilesRow{.arrange = xampp, .phpIni = "xampp/php/php.ini", .outcome = Outcome::Applied, .log = kStarted,
                        .changed = kAll};
        const Arrange program = AddApacheProgram;
        QTest::newRow("Apache accepts the change")
            << FilesRow{.arrange = program, .phpIni = ini, .accepts = {true, true}, .outcome = Outcome::Applied,
                        .log = kStarted, .changed = kAll, .options = {"-t", "-t", "-S"}};
        QTest::newRow("Apache refuses the change: all put back, no command")
            << FilesRow{.arrange = program, .phpIni = ini, .accepts = {true, false}, .outcome = Outcome::Rejected,
                        .log = kFiles, .options = {"-t", "-t"}, .refusal = kRefusal};
        QTest::newRow("Apache refused before the change too: applied, its lines kept")
            << FilesRow{.arrange = program, .phpIni = ini, .accepts = {false, false}, .outcome = Outcome::Applied,
                        .log = kStarted, .changed = kAll, .options = {"-t", "-t", "-S"}, .refusal = kRefusal};
        // clang-format on
    }

    void files()
    {
        QFETCH(FilesRow, row);
        QTemporaryDir dir;
        const QString folder = dir.filePath("xampp/apache"), conf = folder + "/conf/httpd.conf",
                      ini = dir.filePath(row.phpIni), site = dir.filePath("site");
        QVERIFY(MakeApacheFolder(folder) && row.arrange(folder));
        const QByteArray iniBefore = ReadAll(ini), confBefore = ReadAll(conf);
        FakeRunner runner;
        ApplyPassSeams seams = Seams(runner);
        QStringList trimmed, runs;
        seams.documentRootTrimmed = [&](const QString& documentRoot) { trimmed << documentRoot; };
        qsizetype tests = 0;
        seams.runProgram = [&](const config::ApacheInvocation& run) {
            runs << QFileInfo(run.program).path() + ' ' + run.arguments.join(' ');
            CommandOutcome outcome;
            if (run.arguments[0] == "-t" && !row.accepts.value(tests++)) {
                outcome.status = Status::Failed;
                outcome.exitCode = 1;
                outcome.output = kRefusal.join('\n') + '\n';
            }
            return outcome;
        };
        const PassReport report = ApplyPass(seams).run(Settings(site, folder));

        QCOMPARE(report.outcome, row.outcome);
        QCOMPARE(runner.log, row.log);
        QCOMPARE(qsizetype(report.commands.size()), row.log.filter(" | ").size());
        QCOMPARE(Changed(ini, iniBefore, conf, confBefore, site), row.changed);
        QCOMPARE(report.folderCreated, row.changed.contains("site"));
        QCOMPARE(report.notSet, row.notSet);
        // The trimmed root goes back to the window once the files are found.
        QCOMPARE(trimmed, row.outcome == Outcome::FilesMissing ? QStringList() : QStringList{site});
        // A php.ini outside the Apache folder is named, so the user knows which file changed.
        QCOMPARE(ComposeMessage(report).contains(QDir::toNativeSeparators(ini)), !ini.startsWith(folder));
        // Apache's program judges the installation's own httpd.conf each time.
        QStringList expected;
        for (const QString& option : row.options)
            expected << folder + "/bin " + option + " -f " + QDir::toNativeSeparators(conf);
        QCOMPARE(runs, expected);
        QList<bool> judged;
        for (const auto& test : {report.testBefore, report.testAfter})
            if (test)
                judged << test->passed;
        QCOMPARE(judged, row.accepts);
        QCOMPARE(report.testAfter && !report.testAfter->passed ? report.testAfter->lines : QStringList(),
                 row.refusal);
        for (const QString& kept :
             {folder, folder + "/conf"}) // the originals kept: put back or no longer needed
            QCOMPARE(QDir(kept).entryList({"*.brellimar-*"}), QStringList());
    }

    void apacheProgram_data()
    {
        QTest::addColumn<QString>("root");        // typed (%1: the scratch folder)
        QTest::addColumn<Outcome>("outcome");     // what the pass ends in
        QTest::addColumn<QStringList>("changed"); // the files changed and the folder made
        QTest::addColumn<QStringList>("options"); // Apache's program as it ran, each time its first option
        QTest::addColumn<QStringList>("refusal"); // its lines refusing the change (%2: httpd.conf)
#ifndef Q_OS_WIN
        QSKIP("a stand-in for Apache's program is built for Windows only");
#endif
        // clang-format off
        QTest::newRow("a root it can make: applied")
            << "%1/site" << Outcome::Applied << kAll << QStringList{"-t", "-t", "-S"} << QStringList();
        QTest::newRow("a root under a missing Chinese folder, its words read as it writes them: all put back")
            << "%1/缺少/站点" << Outcome::Rejected << QStringList() << QStringList{"-t", "-t"}
            << QStringList{"AH00526: Syntax error on line 26 of %2:",
                           "DocumentRoot '%1/缺少/站点' is not a directory, or is not readable"};
        // clang-format on
    }

    void apacheProgram()
    {
        QFETCH(QString, root);
        QFETCH(Outcome, outcome);
        QFETCH(QStringList, changed);
        QFETCH(QStringList, options);
        QFETCH(QStringList, refusal);
        QTemporaryDir dir;
        const QString folder = dir.filePath("apache"), conf = folder + "/conf/httpd.conf",
                      ini = folder + "/php.ini";
        QVERIFY(MakeApacheFolder(folder) && QDir(folder).mkdir("bin") &&
                WriteAll(folder + "/bin/httpd.exe", ReadAll(BRELLIMAR_TEST_HTTPD)));
        const QByteArray iniBefore = ReadAll(ini), confBefore = ReadAll(conf);
        FakeRunner runner;
        const PassReport report =
            ApplyPass(Seams(runner)).run(Settings(root.replace("%1", dir.path()), folder));

        QCOMPARE(report.outcome, outcome);
        QCOMPARE(Changed(ini, iniBefore, conf, confBefore, dir.filePath("site")), changed);
        // The stand-in notes each run beside itself.
        QStringList runs;
        for (const QString& option : options)
            runs << option + " -f " + QDir::toNativeSeparators(conf);
        QCOMPARE(QString::fromUtf8(ReadAll(folder + "/bin/httpd.exe.log")).split('\n', Qt::SkipEmptyParts),
                 runs);
        refusal.replaceInStrings("%1", dir.path()).replaceInStrings("%2", QDir::toNativeSeparators(conf));
        QCOMPARE(report.testAfter->passed ? QStringList() : report.testAfter->lines, refusal);
    }

    void afterCommands_data()
    {
        QTest::addColumn<AfterRow>("row");
        // clang-format off
        using A = ServiceAction;
        const QString mainOnly = "VirtualHost configuration:\nServerRoot: \"/srv\"\nMain DocumentRoot: \"/srv/x\"\n";
        const QString otherPort =
            "VirtualHost configuration:\n*:80                   localhost (/srv/conf/extra/vhosts.conf:3)\n";
        const QString other = "VirtualHost configuration:\n*:8080                 is a NameVirtualHost\n"
                              "         default server localhost (/srv/conf/extra/vhosts.conf:23)\n"
                              "         port 8080 namevhost localhost (/srv/conf/extra/vhosts.conf:23)\n";
        QTest::newRow("a virtual host on another port: the main server answers")
            << AfterRow{.action = A::Start, .page = 200, .asked = true, .listing = otherPort};
        QTest::newRow("a virtual host of another file answers instead")
            << AfterRow{.action = A::Restart, .page = 200, .asked = true, .listing = other,
                        .otherHost = "/srv/conf/extra/vhosts.conf:23"};
        QTest::newRow("start: a redirect is served too")
            << AfterRow{.action = A::Start, .page = 302, .asked = true, .listing = mainOnly};
        QTest::newRow("start: no answer, explained")
            << AfterRow{.action = A::Start, .page = 0, .asked = true, .explained = true, .listing = mainOnly};
        QTest::newRow("start of a running Apache: nothing new to ask")
            << AfterRow{.action = A::Start, .running = true, .page = 200, .listing = mainOnly};
        QTest::newRow("restart of a running Apache: asked")
            << AfterRow{.action = A::Restart, .running = true, .page = 404, .asked = true, .explained = true,
                        .listing = mainOnly};
        QTest::newRow("stop: nothing asked") << AfterRow{.action = A::Stop, .page = 200, .listing = mainOnly};
        QTest::newRow("starts failed: who holds Apache's Listen port, and MySQL's 3306")
            << AfterRow{.action = A::Start, .failing = {"net start apache2", "net start mysql"}, .page = 200,
                        .listing = mainOnly, .ports = {8080, 3306}};
        QTest::newRow("restart: a failed stop asks nobody")
            << AfterRow{.action = A::Restart, .running = true, .failing = {"net stop apache2", "net stop mysql"},
                        .page = 200, .listing = mainOnly};
        // clang-format on
    }

    void afterCommands()
    {
        QFETCH(AfterRow, row);
        FakeRunner runner;
        runner.running = row.running;
        for (const QString& command : row.failing)
            runner.answers[command].status = Status::Failed;
        QTemporaryDir dir;
        // A root with its index page: a 403 or 404 there is a fault, not an empty folder.
        QVERIFY(MakeApacheFolder(dir.filePath("apache"), 8080) && AddApacheProgram(dir.filePath("apache")) &&
                QDir(dir.path()).mkdir("site") && WriteAll(dir.filePath("site/index.php"), ""));
        QStringList urls;
        QList<quint16> ports;
        ApplyPassSeams seams = Seams(runner);
        seams.runProgram = [&row](const config::ApacheInvocation& run) {
            CommandOutcome outcome;
            outcome.output = run.arguments[0] == "-S" ? row.listing : "Syntax OK";
            return outcome;
        };
        seams.requestPage = [&urls, &row](const QUrl& url) {
            urls << url.toString();
            return PageAnswer{row.page, row.page ? "Forbidden" : "Connection refused"};
        };
        seams.portHolders = [&ports](quint16 port) {
            ports << port;
            return std::vector<platform::PortHolder>{{1234, "nginx.exe", false}};
        };
        const PassReport report = ApplyPass(seams).run(
            {dir.filePath("site"), "index.php", dir.filePath("apache"), true, row.action, row.action});
        QCOMPARE(urls, row.asked ? QStringList{"http://127.0.0.1:8080/"} : QStringList());
        QCOMPARE(report.site.has_value(), row.explained);
        QCOMPARE(report.apacheWasRunning, row.action == ServiceAction::Start && row.running);
        QCOMPARE(report.otherVirtualHost, row.otherHost);
        QCOMPARE(ports, row.ports);
        QCOMPARE(int(report.portsTaken.size()), int(row.ports.size()));
    }

    void pageAddress_data()
    {
        QTest::addColumn<QStringList>("listen"); // the Listen lines' arguments, in Apache's order
        QTest::addColumn<QString>("url");
        // clang-format off
        QTest::newRow("wildcard addresses: this machine")
            << QStringList{"0.0.0.0:8080", "*:81"} << "http://127.0.0.1:8080/";
        QTest::newRow("IPv6 wildcard: its loopback") << QStringList{"[::]:8000"} << "http://[::1]:8000/";
        QTest::newRow("an address of its own") << QStringList{"192.0.2.7:8081 http"} << "http://192.0.2.7:8081/";
        QTest::newRow("https skipped, by port or by protocol")
            << QStringList{"443", "8443 https", "  8080  "} << "http://127.0.0.1:8080/";
        QTest::newRow("only https: nothing to ask") << QStringList{"443"} << "";
        QTest::newRow("no Listen at all") << QStringList() << "";
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
        // Of an outcome and commands, and what a row sets beyond them; files[0]: C:\conf\httpd.conf, not
        // written for lack of space.
        // clang-format off
        const auto report = [](Outcome outcome, const QList<CommandRecord>& commands = {},
                               const std::function<void(PassReport&)>& more = [](PassReport&) {}) {
            PassReport r;
            r.outcome = outcome;
            r.commands.assign(commands.begin(), commands.end());
            r.files.push_back({"C:\\conf\\httpd.conf", "No space left on device", {}});
            more(r);
            return r;
        };
        const auto values = [&](const QString& root, const QString& index) { // checked as the pass does
            const std::optional<config::ValueProblem> refused = config::CheckValues(root, index);
            return report(refused ? Outcome::ValueRefused : Outcome::Applied, {},
                          [&](PassReport& r) { r.refused = refused; });
        };
        const CommandRecord ok = record(Status::Succeeded, 0, "started", {});
        const QString notSetLine =
            "httpd.conf 中没有有效的 DocumentRoot 行（只有被注释掉的行，Apache 不读），主目录没有设置。";
        const QString failedStart = "service apache2 start：退出码 1（apache2: failed）";
        const QString notRestored = "/x/php.ini：Read-only file system（原来的内容保存在 /x/php.ini.brellimar-1）";
        const PassReport::ApacheTest refusal{false, kRefusal};
        const QString applied = "文件已修改，服务命令已执行，但：\n";
        QTest::newRow("file not changed")
            << report(Outcome::FileNotChanged)
            << "无法修改配置文件\"C:\\conf\\httpd.conf\"：No space left on device\n设置没有全部完成，服务没有启动或停止。";
        QTest::newRow("applied, settings without a line")
            << report(Outcome::Applied, {ok}, [](PassReport& r) { r.notSet = {"DocumentRoot", "DirectoryIndex"}; })
            << "文件已修改，但以下设置没有生效：\n" + notSetLine +
                   "\nhttpd.conf 中没有有效的 DirectoryIndex 行（只有被注释掉的行，Apache 不读），服务器默认首页没有设置。";
        QTest::newRow("every kind of failed command, Apache's log lines below its own")
            << report(Outcome::Applied,
                      {record(Status::FailedToStart, 0, {}, "execvp: No such file or directory"),
                       record(Status::Failed, 1, "\n  apache2: failed \n", {}, false,
                              {"AH00072: make_sock: could not bind", "AH00451: no listening sockets"}),
                       record(Status::Failed, 0, "Starting\nAction 'start' failed.", "Action 'start' failed."),
                       record(Status::Failed, 2, {}, {}), ok, record(Status::Crashed, -1, {}, "Process crashed"),
                       record(Status::TimedOut, -1, {}, {}), record(Status::TimedOut, -1, {}, {}, true),
                       record(Status::NotSupported, 0, {}, {})})
            << "设置已应用，但以下服务命令没有成功：\n"
               "service apache2 start：无法启动（execvp: No such file or directory）\n" + failedStart +
               "\n    AH00072: make_sock: could not bind\n    AH00451: no listening sockets\n"
               "service apache2 start：退出码 0（Action 'start' failed.）\nservice apache2 start：退出码 2\n"
               "service apache2 start：异常终止\nservice apache2 start：超时未结束，已被终止\n"
               "service apache2 start：超时未结束，也无法终止\nservice apache2 start：此系统不支持该操作";
        QTest::newRow("a failed command's reason: the lines a colon announces, each cut at 200")
            << report(Outcome::Applied,
                      {record(Status::Failed, 1,
                              "AH00526: Syntax error on line 37 of /x/httpd.conf:\r\n"
                              "DocumentRoot '/nonexistent/x' is not a directory:\n\nB:\n" + QString(201, 'x') +
                                  ":\nnot announced\n", {}),
                       record(Status::Failed, 1, "Starting mariadbd failed\nroot 1 ps listing\n", {})})
            << "设置已应用，但以下服务命令没有成功：\n"
               "service apache2 start：退出码 1（AH00526: Syntax error on line 37 of /x/httpd.conf:）\n"
               "    DocumentRoot '/nonexistent/x' is not a directory:\n    B:\n    " + QString(200, 'x') +
                   "\nservice apache2 start：退出码 1（Starting mariadbd failed）";
        QTest::newRow("settings without a line and a failed command")
            << report(Outcome::Applied, {record(Status::Failed, 1, "apache2: failed", {})},
                      [](PassReport& r) { r.notSet = QStringList{"DocumentRoot"}; })
            << "以下设置没有生效：\n" + notSetLine + "\n其余设置已应用，但以下服务命令没有成功：\n" + failedStart;
        QTest::newRow("Apache refused the change; a file not put back")
            << report(Outcome::Rejected, {}, [&](PassReport& r) {
                   r.testAfter = refusal;
                   r.notRestored = {notRestored};
               })
            << "设置没有应用：Apache 不接受修改后的配置，文件已恢复原样，服务没有启动或停止。Apache 的说明：\n    " +
                   refusal.lines.join("\n    ") + "\n以下文件没能恢复：\n    " + notRestored;
        QTest::newRow("Apache refused the configuration before the change already")
            << report(Outcome::Applied, {ok}, [&](PassReport& r) { r.testBefore = refusal; })
            << applied + "修改之前 Apache 的配置就有错误：\n    " + refusal.lines.join("\n    ");
        QTest::newRow("start of a running Apache")
            << report(Outcome::Applied, {ok}, [](PassReport& r) { r.apacheWasRunning = true; })
            << applied + "Apache 已经在运行，它要重启后才会读取新的设置：请选择“重启”再应用一次。";
        QTest::newRow("ports taken: each under its service's failed start, before Apache's lines")
            << report(Outcome::Applied,
                      {record(Status::Failed, 2, {}, {}, false, {"AH00072: make_sock"}),
                       {Command(Service::MySql, Verb::Start), "net start mysql",
                        record(Status::Failed, 2, {}, {}).outcome}},
                      [](PassReport& r) {
                          r.portsTaken = {{Service::Apache, 80, {4, "System", true}},
                                          {Service::Apache, 443, {77, "", false}},
                                          {Service::MySql, 3306, {0, "", false}},
                                          {Service::Apache, 8080, {9, "C:\\x\\httpd.exe", false}}};
                      })
            << "设置已应用，但以下服务命令没有成功：\nservice apache2 start：退出码 2\n"
               "    端口 80 已被 System (PID 4) 占用：这是 Windows 自己的 HTTP 服务（http.sys），IIS 等程序通过它使用端口\n"
               "    端口 443 已被 PID 77 占用\n    端口 8080 已被 C:\\x\\httpd.exe (PID 9) 占用\n"
               "    AH00072: make_sock\nnet start mysql：退出码 2\n    端口 3306 已被另一个程序占用";
        QTest::newRow("new root forbidden: Apache's reason, the folder its user cannot enter")
            << report(Outcome::Applied, {ok}, [](PassReport& r) {
                   const QStringList log{"AH01630: client denied by server configuration: /srv/site/"};
                   r.site = PassReport::SiteCheck{QUrl("http://127.0.0.1:80/"), {403, "Forbidden"}, log, "/home/me"};
               })
            << applied + "新主目录没有正常打开：http://127.0.0.1:80/ 的回答是 403 Forbidden\n"
                         "    AH01630: client denied by server configuration: /srv/site/\n"
                         "Apache 的运行用户无法进入文件夹“/home/me”。";
        QTest::newRow("a virtual host answers instead")
            << report(Outcome::Applied, {ok}, [](PassReport& r) { r.otherVirtualHost = "/srv/conf/vhosts.conf:23"; })
            << applied + "在这个地址上回答的是 /srv/conf/vhosts.conf:23 的虚拟主机，不是刚设置的主目录。";
        QTest::newRow("php.ini named by the configuration, several MySQL services: which were used")
            << report(Outcome::Applied, {ok}, [](PassReport& r) {
                   r.serviceNote = "找到多个 MySQL 服务，使用了 MySQL80。";
                   r.phpIniElsewhere = "C:\\xampp\\php\\php.ini";
               })
            << "设置已完成！\n修改的是 PHP 读取的 php.ini：C:\\xampp\\php\\php.ini\n找到多个 MySQL 服务，使用了 MySQL80。";
        QTest::newRow("new root without an answer")
            << report(Outcome::Applied, {ok}, [](PassReport& r) {
                   r.site = PassReport::SiteCheck{QUrl("http://127.0.0.1:80/"), {0, "Connection refused"}, {}, {}};
               })
            << applied + "新主目录没有正常打开：http://127.0.0.1:80/ 的回答是 没有回应（Connection refused）";
        QTest::newRow("values: ordinary, Chinese, root ending in a backslash: accepted")
            << values(QStringLiteral("D:\\网站\\"), "index.php a\\\\") << "设置已完成！";
        QTest::newRow("values: LF in root") << values("/a\nServerName evil", "i") << "主目录不能包含换行符或空字符，请重新输入。";
        QTest::newRow("values: CR in index") << values("/a", "i\rx") << "服务器默认首页不能包含换行符或空字符，请重新输入。";
        QTest::newRow("values: NUL in root")
            << values(QString(QStringLiteral("/a") + QChar(u'\0')), "i") << "主目录不能包含换行符或空字符，请重新输入。";
        QTest::newRow("values: blank index") << values("/a", "   ") << "服务器默认首页不能为空，请重新输入。";
        QTest::newRow("values: index ends in backslash")
            << values("/a", "index.php \\") << "服务器默认首页不能以反斜杠“\\”结尾（Apache 会把下一行接到它后面），请重新输入。";
        QTest::newRow("values: lone surrogate")
            << values("i", QString(QStringLiteral("a") + QChar(0xdc00))) << "服务器默认首页包含配置文件的编码无法表示的字符，请重新输入。";
        // clang-format on
    }

    void message()
    {
        QFETCH(PassReport, report);
        QFETCH(QString, message);
        QCOMPARE(ComposeMessage(report), message);
    }

    void phpFpm_data()
    {
        QTest::addColumn<ServiceAction>("apache");
        QTest::addColumn<QByteArray>("phpIni");   // PHP-FPM's php.ini before the pass
        QTest::addColumn<QString>("listen");      // its pool's listen line
        QTest::addColumn<QStringList>("restart"); // the commands on PHP-FPM, the last ones run
        QTest::addColumn<QString>("message");     // %1: PHP-FPM's php.ini
        const QString sock = "listen = /run/php/php8.2-fpm.sock";
        const QByteArray off = "display_errors = Off\r\n", on = "display_errors = On\r\n";
        const QStringList restarted{"net stop php8.2-fpm | 正在重启服务:PHP-FPM",
                                    "net start php8.2-fpm | 正在重启服务:PHP-FPM"};
        const QString done = "设置已完成！\n修改的是 PHP 读取的 php.ini：%1";
        const QString later = "\nPHP-FPM 下次启动时才会读取修改后的 php.ini。";
        const QString missing =
            "需要修改的 php.ini 没有找到：Apache 把 .php 文件交给 PHP-FPM（unix:/run/php/php8.2-fpm.sock），"
            "但没有找到在那里监听的 PHP-FPM，或它没有说出它读取的 php.ini。";
        const QStringList none;
        // clang-format off
        QTest::newRow("start: PHP-FPM restarted") << ServiceAction::Start << off << sock << restarted << done;
        QTest::newRow("restart: PHP-FPM restarted") << ServiceAction::Restart << off << sock << restarted << done;
        QTest::newRow("stop: read at its next start") << ServiceAction::Stop << off << sock << none << done + later;
        QTest::newRow("php.ini unchanged: no restart") << ServiceAction::Start << on << sock << none << done;
        QTest::newRow("no pool listens there") << ServiceAction::Start << off << "listen = 9001" << none << missing;
        // clang-format on
    }

    void phpFpm()
    {
        // Apache hands .php to PHP-FPM's socket; Debian's php8.2-fpm has its pool and php.ini in php/8.2/fpm.
        QFETCH(ServiceAction, apache);
        QFETCH(QByteArray, phpIni);
        QFETCH(QString, listen);
        QFETCH(QStringList, restart);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString fpm = dir.filePath("php/8.2/fpm"), program = dir.filePath("sbin/php-fpm8.2");
        QVERIFY(MakeApacheFolder(
                    dir.filePath("apache"), 8080,
                    "LoadModule proxy_fcgi_module modules/mod_proxy_fcgi.so\n<FilesMatch \\.php$>\n"
                    "SetHandler \"proxy:unix:/run/php/php8.2-fpm.sock|fcgi://localhost\"\n</FilesMatch>") &&
                QDir().mkpath(fpm + "/pool.d") &&
                WriteAll(fpm + "/pool.d/www.conf", "[www]\n" + listen.toUtf8()) &&
                WriteAll(fpm + "/php.ini", phpIni));
        FakeRunner runner;
        ApplyPassSeams seams = Seams(runner);
        seams.packageFolders = {dir.filePath("php"), {}, dir.filePath("sbin")};
        seams.runProgram = [&](const config::ApacheInvocation& run) { // as php-fpm8.2 -i answers
            const bool info = run.program == program && run.arguments == QStringList{"-i"};
            CommandOutcome outcome;
            outcome.output = info ? "Loaded Configuration File => " + fpm + "/php.ini\n" : "";
            return outcome;
        };
        const PassReport report = ApplyPass(seams).run(
            {dir.filePath("site"), "index.php", dir.filePath("apache"), true, apache, ServiceAction::Start});
        const QStringList commands = runner.log.filter(" | ");
        QCOMPARE(commands.filter("php8.2-fpm"), restart);
        QCOMPARE(commands.mid(commands.size() - restart.size()), restart); // after Apache's and MySQL's
        QCOMPARE(ComposeMessage(report), message.replace("%1", QDir::toNativeSeparators(fpm + "/php.ini")));
        QCOMPARE(ReadAll(dir.filePath("apache/php.ini")),
                 "[PHP]\r\n; display_errors = On\r\ndisplay_errors = Off\r\n");
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

    void emptyRoot_data()
    {
        QTest::addColumn<int>("status");       // what Apache answers for the new root
        QTest::addColumn<QString>("page");     // a file in the new root (empty: none)
        QTest::addColumn<QString>("addition"); // what the message adds after the settings
        const QString none = "\n新主目录里还没有首页文件（index.php index.html）";
        const QString failed = "：\n新主目录没有正常打开：http://127.0.0.1:8080/ 的回答是 %1 Forbidden";
        QTest::newRow("404, no index page: said plainly") << 404 << "" << none;
        QTest::newRow("403, no index page: said plainly") << 403 << "notes.txt" << none;
        QTest::newRow("403 with index.html: a fault") << 403 << "index.html" << failed.arg(403);
        QTest::newRow("500, no index page: a fault") << 500 << "" << failed.arg(500);
    }

    void emptyRoot()
    {
        QFETCH(int, status);
        QFETCH(QString, page);
        QFETCH(QString, addition);
        QTemporaryDir dir;
        QVERIFY(MakeApacheFolder(dir.filePath("apache"), 8080) && QDir(dir.path()).mkdir("site") &&
                (page.isEmpty() || WriteAll(dir.filePath("site/" + page), "x")));
        FakeRunner runner;
        const PassReport report =
            ApplyPass(Seams(runner, status))
                .run({dir.filePath("site"), "index.php  index.html", dir.filePath("apache"), false,
                      ServiceAction::Start, ServiceAction::Start});
        const QString message = ComposeMessage(report);
        QVERIFY2(message.endsWith(addition) && message.count('\n') == addition.count('\n'),
                 qPrintable(message));
    }
};

QTEST_GUILESS_MAIN(TestApplyPass)
#include "tst_applypass.moc"
