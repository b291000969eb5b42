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

// What the installation is like before the pass. Xampp: php.ini only in PHP's folder, named by PHPIniDir
// in the file httpd.conf includes. From ApacheAccepts on, Apache's program tests httpd.conf; ApacheProgram
// is a stand-in for it, run for real, that refuses a missing root folder.
// clang-format off
enum class Fault { NoLiveDocumentRoot, HttpdConfUtf16, HttpdConfIsFolder, HiddenPhpIni, Xampp, ApacheAccepts, ApacheRefusesChange, ApacheBrokenBefore, ApacheProgram };
const QStringList kRefusal{"AH00526: Syntax error on line 25 of httpd.conf:", "DocumentRoot must be a directory"};
// clang-format on

// A pass on an installation with a fault. root: typed (%1 is a scratch folder); log: status texts, and
// commands with the status they ran under; changed: the files and folders the pass changed or made;
// apacheSays: Apache refusing the change (%2 is httpd.conf).
using PassRow = std::tuple<Fault, QString, Outcome, QStringList, QStringList, QStringList>;

// The action on Apache and what follows it. running: the service manager reports Apache running before;
// alreadyStarted: the start answers that it had started already (net 2182); page: what Apache answers for
// the new root (0: nothing); asked: the new root was asked for; explained: the report explains a page not
// served; listing: Apache's list of its virtual hosts; otherHost: the virtual host said to answer instead.
using AfterRow = std::tuple<ServiceAction, bool, bool, int, bool, bool, QString, QString>;

class TestApplyPass : public QObject
{
    Q_OBJECT

  private slots:
    void pass_data()
    {
        QTest::addColumn<PassRow>("row");
        // clang-format off
        const QStringList files{"正在设置文件:php.ini", "正在设置文件:httpd.conf", ""};
        const QStringList started = files + QStringList{"正在启动服务:Apache2", "net start apache2 | 正在启动服务:Apache2", "正在启动服务:Mysql", "net start mysql | 正在启动服务:Mysql", ""};
        const QStringList all{"php.ini", "httpd.conf", "site"};
        QTest::newRow("no live DocumentRoot: still applied") << PassRow{Fault::NoLiveDocumentRoot, "%1/site", Outcome::Applied, started, all, QStringList()};
        QTest::newRow("httpd.conf not rewritable: no folder, no command") << PassRow{Fault::HttpdConfUtf16, "%1/site", Outcome::FileNotChanged, files, QStringList{"php.ini"}, QStringList()};
        QTest::newRow("httpd.conf a folder: missing, nothing touched") << PassRow{Fault::HttpdConfIsFolder, "%1/site", Outcome::FilesMissing, QStringList(), QStringList(), QStringList()};
        QTest::newRow("XAMPP: the php.ini PHPIniDir names is changed, the message names it") << PassRow{Fault::Xampp, "%1/site", Outcome::Applied, started, all, QStringList()};
        QTest::newRow("Apache accepts the change") << PassRow{Fault::ApacheAccepts, "%1/site", Outcome::Applied, started, all, QStringList()};
        QTest::newRow("Apache refuses the change: all put back, no command") << PassRow{Fault::ApacheRefusesChange, "%1/site", Outcome::Rejected, files, QStringList(), kRefusal};
#ifdef Q_OS_WIN
        QTest::newRow("hidden php.ini: missing") << PassRow{Fault::HiddenPhpIni, "%1/site", Outcome::FilesMissing, QStringList(), QStringList(), QStringList()};
        QTest::newRow("Apache's program accepts a root it can make") << PassRow{Fault::ApacheProgram, "%1/site", Outcome::Applied, started, all, QStringList()};
        QTest::newRow("Apache's program refuses a root under a missing Chinese folder, its words read as it writes them: all put back") << PassRow{Fault::ApacheProgram, "%1/缺少/站点", Outcome::Rejected, files, QStringList(), QStringList{"AH00526: Syntax error on line 26 of %2:", "DocumentRoot '%1/缺少/站点' is not a directory, or is not readable"}};
#endif
        QTest::newRow("Apache refused before the change too: applied") << PassRow{Fault::ApacheBrokenBefore, "%1/site", Outcome::Applied, started, all, kRefusal};
        // clang-format on
    }

    void pass()
    {
        QFETCH(PassRow, row);
        auto [fault, root, outcome, log, changed, apacheSays] = row;
        QTemporaryDir dir;
        root.replace("%1", dir.path());
        const QString folder = dir.filePath("xampp/apache"), conf = folder + "/conf/httpd.conf",
                      ini = fault == Fault::Xampp ? dir.filePath("xampp/php/php.ini") : folder + "/php.ini";
        QVERIFY(MakeApacheFolder(folder));
        if (fault == Fault::Xampp) // as XAMPP ships it
            QVERIFY(QDir().mkpath(dir.filePath("xampp/php")) && QFile::rename(folder + "/php.ini", ini) &&
                    WriteAll(conf, ReadAll(conf) + "Include \"conf/extra/httpd-xampp.conf\"\r\n") &&
                    QDir().mkpath(folder + "/conf/extra") &&
                    WriteAll(folder + "/conf/extra/httpd-xampp.conf",
                             "<IfModule php_module>\r\n    PHPIniDir \"" +
                                 dir.filePath("xampp/php").toUtf8() + "\"\r\n</IfModule>\r\n"));
        if (fault == Fault::NoLiveDocumentRoot)
            QVERIFY(WriteAll(conf, "#DocumentRoot /old\r\n    DirectoryIndex index.html\r\n"));
        if (fault == Fault::HttpdConfUtf16)
            QVERIFY(WriteAll(conf, QByteArray("\xff\xfe#\0", 4)));
        if (fault == Fault::HttpdConfIsFolder)
            QVERIFY(QFile::remove(conf) && QDir().mkdir(conf));
#ifdef Q_OS_WIN
        if (fault == Fault::HiddenPhpIni)
            QVERIFY(::SetFileAttributesW(reinterpret_cast<LPCWSTR>(ini.utf16()), FILE_ATTRIBUTE_HIDDEN));
#endif
        if (fault >= Fault::ApacheAccepts) // as Windows and Unix builds name it
            QVERIFY(QDir(folder).mkdir("bin") &&
                    WriteAll(folder + "/bin/httpd.exe",
                             fault == Fault::ApacheProgram ? ReadAll(BRELLIMAR_TEST_HTTPD) : "") &&
                    WriteAll(folder + "/bin/httpd", ""));
        const QByteArray iniBefore = ReadAll(ini), confBefore = ReadAll(conf);

        QStringList tests, trimmed;
        FakeRunner runner;
        ApplyPassSeams seams;
        seams.setStatus = [&](const QString& text) { runner.Show(text); };
        seams.documentRootTrimmed = [&](const QString& documentRoot) { trimmed << documentRoot; };
        seams.runner = &runner;
        seams.requestPage = [](const QUrl&) { return PageAnswer{200, {}}; };
        if (fault != Fault::ApacheProgram) // Apache's program as run: it refuses after a change, or always
            seams.runProgram = [&tests, fault = fault](const QString& program, const QStringList& arguments) {
                tests << QFileInfo(program).path() + ' ' + arguments.join(' ');
                const bool refuses = fault == Fault::ApacheBrokenBefore ||
                                     (fault == Fault::ApacheRefusesChange && tests.size() > 1);
                return refuses ? CommandOutcome{Status::Failed, 1, kRefusal.join('\n') + '\n', {}, false, {}}
                               : CommandOutcome();
            };
        const PassReport report = ApplyPass(seams).run(
            {root, "index.php", folder, true, ServiceAction::Start, ServiceAction::Start});

        QCOMPARE(report.outcome, outcome);
        QCOMPARE(runner.log, log);
        QStringList madeOrChanged{ReadAll(ini) != iniBefore ? "php.ini" : "",
                                  ReadAll(conf) != confBefore ? "httpd.conf" : "",
                                  QFileInfo(dir.filePath("site")).isDir() ? "site" : ""};
        madeOrChanged.removeAll("");
        QCOMPARE(madeOrChanged, changed);
        for (const QString& kept : {folder, folder + "/conf"}) // what was kept: put back or no longer needed
            QCOMPARE(QDir(kept).entryList({"*.brellimar-*"}), QStringList());
        QCOMPARE(report.folderCreated, changed.contains("site"));
        // The trimmed root goes back to the window once the files are found, and is what httpd.conf got.
        QCOMPARE(trimmed, outcome == Outcome::FilesMissing ? QStringList() : QStringList{root.trimmed()});
        QCOMPARE(report.notSet,
                 fault == Fault::NoLiveDocumentRoot ? QStringList{"DocumentRoot"} : QStringList());
        QCOMPARE(int(report.commands.size()), int(log.filter(" | ").size()));
        // Apache tests the file before and after the change (the folder made by then), then lists its hosts.
        const QString bin = folder + "/bin ", file = " -f " + QDir::toNativeSeparators(conf);
        if (fault == Fault::ApacheProgram) // its stand-in notes each run beside itself
            for (const QByteArray& line : ReadAll(folder + "/bin/httpd.exe.log").trimmed().split('\n'))
                tests << bin + QString::fromUtf8(line);
        const QStringList runs{bin + "-t" + file, bin + "-t" + file, bin + "-S" + file};
        QCOMPARE(tests, runs.mid(0, fault < Fault::ApacheAccepts ? 0 : outcome == Outcome::Rejected ? 2 : 3));
        QCOMPARE(report.testBefore && !report.testBefore->passed, fault == Fault::ApacheBrokenBefore);
        // Apache's own words reach the report (the message rows show them in the message).
        apacheSays.replaceInStrings("%1", dir.path()).replaceInStrings("%2", QDir::toNativeSeparators(conf));
        QCOMPARE(report.testAfter && !report.testAfter->passed ? report.testAfter->lines : QStringList(),
                 apacheSays);
        // A php.ini outside the Apache folder is named, so the user knows which file changed.
        QCOMPARE(ComposeMessage(report).contains(QDir::toNativeSeparators(ini)), fault == Fault::Xampp);
    }

    void afterCommands_data()
    {
        QTest::addColumn<AfterRow>("row");
        // clang-format off
        const QString mainOnly = "VirtualHost configuration:\nServerRoot: \"/srv\"\nMain DocumentRoot: \"/srv/x\"\n";
        const QString otherPort = "VirtualHost configuration:\n*:80                   localhost (/srv/conf/extra/vhosts.conf:3)\n";
        const QString other = "VirtualHost configuration:\n*:8080                 is a NameVirtualHost\n         default server localhost (/srv/conf/extra/vhosts.conf:23)\n         port 8080 namevhost localhost (/srv/conf/extra/vhosts.conf:23)\n";
        QTest::newRow("a virtual host on another port: the main server answers") << AfterRow{ServiceAction::Start, false, false, 200, true, false, otherPort, ""};
        QTest::newRow("a virtual host of another file answers instead") << AfterRow{ServiceAction::Restart, false, false, 200, true, false, other, "/srv/conf/extra/vhosts.conf:23"};
        QTest::newRow("start: a redirect is served too") << AfterRow{ServiceAction::Start, false, false, 302, true, false, mainOnly, ""};
        QTest::newRow("start: forbidden, explained") << AfterRow{ServiceAction::Start, false, false, 403, true, true, mainOnly, ""};
        QTest::newRow("start: no answer, explained") << AfterRow{ServiceAction::Start, false, false, 0, true, true, mainOnly, ""};
        QTest::newRow("start of a running Apache: nothing new to ask") << AfterRow{ServiceAction::Start, true, false, 200, false, false, mainOnly, ""};
        QTest::newRow("start answered 'already started'") << AfterRow{ServiceAction::Start, false, true, 200, false, false, mainOnly, ""};
        QTest::newRow("restart of a running Apache: asked") << AfterRow{ServiceAction::Restart, true, false, 404, true, true, mainOnly, ""};
        QTest::newRow("stop: nothing asked") << AfterRow{ServiceAction::Stop, false, false, 200, false, false, mainOnly, ""};
        // clang-format on
    }

    void afterCommands()
    {
        QFETCH(AfterRow, row);
        const auto& [apache, running, alreadyStarted, page, asked, explained, listing, otherHost] = row;
        FakeRunner runner;
        runner.running = running;
        runner.answers["net start apache2"].alreadyInState = alreadyStarted;
        QTemporaryDir dir;
        QVERIFY(MakeApacheFolder(dir.filePath("apache"), 8080) && QDir(dir.filePath("apache")).mkdir("bin") &&
                WriteAll(dir.filePath("apache/bin/httpd.exe"), "") &&
                WriteAll(dir.filePath("apache/bin/httpd"), ""));
        // A root with its index page: a 403 or 404 there is a fault, not an empty folder.
        QVERIFY(QDir(dir.path()).mkdir("site") && WriteAll(dir.filePath("site/index.php"), ""));
        QStringList urls;
        ApplyPassSeams seams;
        seams.runProgram = [listing = listing](const QString&, const QStringList& arguments) {
            return CommandOutcome{
                Status::Succeeded, 0, arguments[0] == "-S" ? listing : "Syntax OK", {}, false, {}};
        };
        seams.runner = &runner;
        seams.requestPage = [&urls, page = page](const QUrl& url) {
            urls << url.toString();
            return PageAnswer{page, page ? "Forbidden" : "Connection refused"};
        };
        const PassReport report = ApplyPass(seams).run(
            {dir.filePath("site"), "index.php", dir.filePath("apache"), true, apache, ServiceAction::Stop});
        QCOMPARE(urls, asked ? QStringList{"http://127.0.0.1:8080/"} : QStringList());
        QCOMPARE(report.site.has_value(), explained);
        QCOMPARE(report.apacheWasRunning, apache == ServiceAction::Start && (running || alreadyStarted));
        QCOMPARE(report.otherVirtualHost, otherHost);
    }

    void pageAddress_data()
    {
        QTest::addColumn<QStringList>("listen"); // the Listen lines' arguments, in Apache's order
        QTest::addColumn<QString>("url");
        // clang-format off
        QTest::newRow("a bare port: this machine") << QStringList{"80"} << "http://127.0.0.1:80/";
        QTest::newRow("wildcard addresses: this machine") << QStringList{"0.0.0.0:8080", "*:81"} << "http://127.0.0.1:8080/";
        QTest::newRow("IPv6 wildcard: its loopback") << QStringList{"[::]:8000"} << "http://[::1]:8000/";
        QTest::newRow("an address of its own") << QStringList{"192.0.2.7:8081 http"} << "http://192.0.2.7:8081/";
        QTest::newRow("https skipped, by port or by protocol") << QStringList{"443", "8443 https", "  8080  "} << "http://127.0.0.1:8080/";
        QTest::newRow("only https: nothing to ask") << QStringList{"443"} << "";
        QTest::newRow("no Listen at all") << QStringList() << "";
        // clang-format on
    }

    void pageAddress()
    {
        QFETCH(QStringList, listen);
        QFETCH(QString, url);
        QCOMPARE(config::PageAddress(listen).toString(), url);
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
        const auto report = [](
                                Outcome outcome, const QList<CommandRecord>& commands = {},
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
        // clang-format off
        const QString notSetLine = "httpd.conf 中没有有效的 DocumentRoot 行（只有被注释掉的行，Apache 不读），主目录没有设置。";
        const QString failedStart = "service apache2 start：退出码 1（apache2: failed）";
        const QString notRestored = "/x/php.ini：Read-only file system（原来的内容保存在 /x/php.ini.brellimar-1）";
        const PassReport::ApacheTest refusal{false, {"AH00526: Syntax error on line 25 of /x/httpd.conf:", "DocumentRoot must be a directory"}};
        QTest::newRow("file not changed") << report(Outcome::FileNotChanged) << "无法修改配置文件\"C:\\conf\\httpd.conf\"：No space left on device\n设置没有全部完成，服务没有启动或停止。";
        QTest::newRow("applied, settings without a line") << report(Outcome::Applied, {ok}, [](PassReport& r) { r.notSet = QStringList{"DocumentRoot", "DirectoryIndex"}; }) << "文件已修改，但以下设置没有生效：\n" + notSetLine + "\nhttpd.conf 中没有有效的 DirectoryIndex 行（只有被注释掉的行，Apache 不读），服务器默认首页没有设置。";
        QTest::newRow("every kind of failed command, Apache's log lines below its own") << report(Outcome::Applied, {
            record(Status::FailedToStart, 0, {}, "execvp: No such file or directory"), record(Status::Failed, 1, "\n  apache2: failed \n", {}, false, {"AH00072: make_sock: could not bind", "AH00451: no listening sockets"}),
            record(Status::Failed, 0, "Starting\nAction 'start' failed.", "Action 'start' failed."), record(Status::Failed, 2, {}, {}), ok, record(Status::Crashed, -1, {}, "Process crashed"),
            record(Status::TimedOut, -1, {}, {}), record(Status::TimedOut, -1, {}, {}, true), record(Status::NotSupported, 0, {}, {})})
            << "设置已应用，但以下服务命令没有成功：\nservice apache2 start：无法启动（execvp: No such file or directory）\n" + failedStart + "\n    AH00072: make_sock: could not bind\n    AH00451: no listening sockets\nservice apache2 start：退出码 0（Action 'start' failed.）\nservice apache2 start：退出码 2\nservice apache2 start：异常终止\nservice apache2 start：超时未结束，已被终止\nservice apache2 start：超时未结束，也无法终止\nservice apache2 start：此系统不支持该操作";
        QTest::newRow("a failed command's reason: the lines a colon announces, each cut at 200") << report(Outcome::Applied, {record(Status::Failed, 1, "AH00526: Syntax error on line 37 of /x/httpd.conf:\r\nDocumentRoot '/nonexistent/x' is not a directory:\n\nB:\n" + QString(201, 'x') + ":\nnot announced\n", {}), record(Status::Failed, 1, "Starting mariadbd failed\nroot 1 ps listing\n", {})}) << "设置已应用，但以下服务命令没有成功：\nservice apache2 start：退出码 1（AH00526: Syntax error on line 37 of /x/httpd.conf:）\n    DocumentRoot '/nonexistent/x' is not a directory:\n    B:\n    " + QString(200, 'x') + "\nservice apache2 start：退出码 1（Starting mariadbd failed）";
        QTest::newRow("settings without a line and a failed command") << report(Outcome::Applied, {record(Status::Failed, 1, "apache2: failed", {})}, [](PassReport& r) { r.notSet = QStringList{"DocumentRoot"}; }) << "以下设置没有生效：\n" + notSetLine + "\n其余设置已应用，但以下服务命令没有成功：\n" + failedStart;
        QTest::newRow("Apache refused the change; a file not put back") << report(Outcome::Rejected, {}, [&](PassReport& r) { r.testAfter = refusal; r.notRestored = QStringList{notRestored}; }) << "设置没有应用：Apache 不接受修改后的配置，文件已恢复原样，服务没有启动或停止。Apache 的说明：\n    " + refusal.lines.join("\n    ") + "\n以下文件没能恢复：\n    " + notRestored;
        QTest::newRow("Apache refused the configuration before the change already") << report(Outcome::Applied, {ok}, [&](PassReport& r) { r.testBefore = refusal; }) << "文件已修改，服务命令已执行，但：\n修改之前 Apache 的配置就有错误：\n    " + refusal.lines.join("\n    ");
        QTest::newRow("start of a running Apache") << report(Outcome::Applied, {ok}, [](PassReport& r) { r.apacheWasRunning = true; }) << "文件已修改，服务命令已执行，但：\nApache 已经在运行，它要重启后才会读取新的设置：请选择“重启”再应用一次。";
        QTest::newRow("new root forbidden: Apache's reason, the folder its user cannot enter") << report(Outcome::Applied, {ok}, [](PassReport& r) { r.site = PassReport::SiteCheck{QUrl("http://127.0.0.1:80/"), {403, "Forbidden"}, {"AH01630: client denied by server configuration: /srv/site/"}, "/home/me"}; }) << "文件已修改，服务命令已执行，但：\n新主目录没有正常打开：http://127.0.0.1:80/ 的回答是 403 Forbidden\n    AH01630: client denied by server configuration: /srv/site/\nApache 的运行用户无法进入文件夹“/home/me”。";
        QTest::newRow("a virtual host answers instead") << report(Outcome::Applied, {ok}, [](PassReport& r) { r.otherVirtualHost = "/srv/conf/extra/vhosts.conf:23"; }) << "文件已修改，服务命令已执行，但：\n在这个地址上回答的是 /srv/conf/extra/vhosts.conf:23 的虚拟主机，不是刚设置的主目录。";
        QTest::newRow("php.ini named by the configuration, several MySQL services: which were used") << report(Outcome::Applied, {ok}, [](PassReport& r) { r.serviceNote = "找到多个 MySQL 服务，使用了 MySQL80。"; r.phpIniElsewhere = "C:\\xampp\\php\\php.ini"; }) << "设置已完成！\n修改的是 PHP 读取的 php.ini：C:\\xampp\\php\\php.ini\n找到多个 MySQL 服务，使用了 MySQL80。";
        QTest::newRow("new root without an answer") << report(Outcome::Applied, {ok}, [](PassReport& r) { r.site = PassReport::SiteCheck{QUrl("http://127.0.0.1:80/"), {0, "Connection refused"}, {}, {}}; }) << "文件已修改，服务命令已执行，但：\n新主目录没有正常打开：http://127.0.0.1:80/ 的回答是 没有回应（Connection refused）";
        QTest::newRow("values: ordinary, Chinese, root ending in a backslash: accepted") << values(QStringLiteral("D:\\网站\\"), "index.php a\\\\") << "设置已完成！";
        QTest::newRow("values: LF in root") << values("/a\nServerName evil", "i") << "主目录不能包含换行符或空字符，请重新输入。";
        QTest::newRow("values: CR in index") << values("/a", "i\rx") << "服务器默认首页不能包含换行符或空字符，请重新输入。";
        QTest::newRow("values: NUL in root") << values(QString(QStringLiteral("/a") + QChar(u'\0')), "i") << "主目录不能包含换行符或空字符，请重新输入。";
        QTest::newRow("values: blank index") << values("/a", "   ") << "服务器默认首页不能为空，请重新输入。";
        QTest::newRow("values: index ends in backslash") << values("/a", "index.php \\") << "服务器默认首页不能以反斜杠“\\”结尾（Apache 会把下一行接到它后面），请重新输入。";
        QTest::newRow("values: lone surrogate") << values("i", QString(QStringLiteral("a") + QChar(0xdc00))) << "服务器默认首页包含配置文件的编码无法表示的字符，请重新输入。";
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
        QTest::addColumn<QByteArray>("phpIni");    // PHP-FPM's php.ini before the pass
        QTest::addColumn<QString>("listen");       // its pool's listen line
        QTest::addColumn<QStringList>("commands"); // what ran, and under which status text
        QTest::addColumn<QString>("message");      // %1: PHP-FPM's php.ini
        const QString sock = "listen = /run/php/php8.2-fpm.sock";
        const QByteArray off = "display_errors = Off\r\n";
        const QStringList mysql{"net start mysql | 正在启动服务:Mysql"},
            start{"net start apache2 | 正在启动服务:Apache2"};
        const QStringList restarted = mysql + QStringList{"net stop php8.2-fpm | 正在重启服务:PHP-FPM",
                                                          "net start php8.2-fpm | 正在重启服务:PHP-FPM"};
        const QStringList restart{"net stop apache2 | 正在重启服务:Apache2",
                                  "net start apache2 | 正在重启服务:Apache2"};
        const QString done = "设置已完成！\n修改的是 PHP 读取的 php.ini：%1";
        const QString missing =
            "需要修改的 php.ini 没有找到：Apache 把 .php 文件交给 PHP-FPM（unix:/run/php/php8.2-fpm.sock），"
            "但没有找到在那里监听的 PHP-FPM，或它没有说出它读取的 php.ini。";
        QTest::newRow("start: PHP-FPM restarted")
            << ServiceAction::Start << off << sock << start + restarted << done;
        QTest::newRow("restart: PHP-FPM restarted")
            << ServiceAction::Restart << off << sock << restart + restarted << done;
        QTest::newRow("stop: read at its next start")
            << ServiceAction::Stop << off << sock
            << QStringList{"net stop apache2 | 正在停止服务:Apache2"} + mysql
            << done + "\nPHP-FPM 下次启动时才会读取修改后的 php.ini。";
        QTest::newRow("php.ini unchanged: no restart")
            << ServiceAction::Start << QByteArray("display_errors = On\r\n") << sock << start + mysql << done;
        QTest::newRow("no pool listens there")
            << ServiceAction::Start << off << "listen = 127.0.0.1:9000" << QStringList() << missing;
    }

    void phpFpm()
    {
        // Apache hands .php to PHP-FPM's socket; Debian's php8.2-fpm has its pool and php.ini in php/8.2/fpm.
        QFETCH(ServiceAction, apache);
        QFETCH(QByteArray, phpIni);
        QFETCH(QString, listen);
        QFETCH(QStringList, commands);
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
        ApplyPassSeams seams;
        seams.setStatus = [&](const QString& text) { runner.status = text; };
        seams.runner = &runner;
        seams.packageFolders = {dir.filePath("php"), {}, dir.filePath("sbin")};
        seams.runProgram = [&](const QString& asked,
                               const QStringList& arguments) { // as php-fpm8.2 -i answers
            const bool info = asked == program && arguments == QStringList{"-i"};
            return CommandOutcome{Status::Succeeded,
                                  0,
                                  info ? "Loaded Configuration File => " + fpm + "/php.ini\n" : "",
                                  {},
                                  false,
                                  {}};
        };
        seams.requestPage = [](const QUrl&) { return PageAnswer{200, {}}; };
        const PassReport report = ApplyPass(seams).run(
            {dir.filePath("site"), "index.php", dir.filePath("apache"), true, apache, ServiceAction::Start});
        QCOMPARE(runner.log, commands);
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
        ApplyPassSeams seams;
        seams.setStatus = [&](const QString& text) { runner.status = text; };
        seams.runner = &runner;
        seams.packageFolders = {dir.filePath("etc/php"), dir.filePath("etc/php-fpm.d"),
                                dir.filePath("usr/sbin")};
        seams.requestPage = [](const QUrl&) { return PageAnswer{200, {}}; };
        const PassReport report = ApplyPass(seams).run({dir.filePath("var/www/site"), "index.php index.html",
                                                        dir.filePath("etc/httpd"), true,
                                                        ServiceAction::Restart, ServiceAction::Start});
        QCOMPARE(ComposeMessage(report),
                 "设置已完成！\n修改的是 PHP 读取的 php.ini：" + dir.filePath("etc/php.ini"));
        QCOMPARE(
            runner.log,
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
        ApplyPassSeams seams;
        seams.runner = &runner;
        seams.requestPage = [status](const QUrl&) { return PageAnswer{status, "Forbidden"}; };
        const PassReport report =
            ApplyPass(seams).run({dir.filePath("site"), "index.php  index.html", dir.filePath("apache"),
                                  false, ServiceAction::Start, ServiceAction::Start});
        const QString message = ComposeMessage(report);
        QVERIFY2(message.endsWith(addition) && message.count('\n') == addition.count('\n'),
                 qPrintable(message));
    }
};

QTEST_GUILESS_MAIN(TestApplyPass)
#include "tst_applypass.moc"
