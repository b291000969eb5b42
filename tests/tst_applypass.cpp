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
        // The action on Apache and MySQL; running: the service manager reports Apache running before;
        // failing: the commands that fail; page: what Apache answers for the new root (0: nothing); asked:
        // the new root was asked for; explained: the report explains a page not served; listing: Apache's
        // list of its virtual hosts; otherHost: the virtual host said to answer instead; ports: whose holders
        // were asked for.
        QTest::addColumn<ServiceAction>("action");
        QTest::addColumn<bool>("running");
        QTest::addColumn<QStringList>("failing");
        QTest::addColumn<int>("page");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("explained");
        QTest::addColumn<QString>("listing");
        QTest::addColumn<QString>("otherHost");
        QTest::addColumn<QList<quint16>>("ports");
        // clang-format off
        using A = ServiceAction;
        const QString mainOnly = "VirtualHost configuration:\nServerRoot: \"/srv\"\nMain DocumentRoot: \"/srv/x\"\n";
        const QString otherPort =
            "VirtualHost configuration:\n*:80                   localhost (/srv/conf/extra/vhosts.conf:3)\n";
        const QString other = "VirtualHost configuration:\n*:8080                 is a NameVirtualHost\n"
                              "         default server localhost (/srv/conf/extra/vhosts.conf:23)\n"
                              "         port 8080 namevhost localhost (/srv/conf/extra/vhosts.conf:23)\n";
        const QStringList none;
        const QList<quint16> noPorts;
        QTest::newRow("a virtual host on another port: the main server answers") << A::Start << false << none << 200
            << true << false << otherPort << "" << noPorts;
        QTest::newRow("a virtual host of another file answers instead") << A::Restart << false << none << 200 << true
            << false << other << "/srv/conf/extra/vhosts.conf:23" << noPorts;
        QTest::newRow("start: a redirect is served too") << A::Start << false << none << 302 << true << false
            << mainOnly << "" << noPorts;
        QTest::newRow("start: forbidden, explained") << A::Start << false << none << 403 << true << true << mainOnly
            << "" << noPorts;
        QTest::newRow("start: no answer, explained") << A::Start << false << none << 0 << true << true << mainOnly
            << "" << noPorts;
        QTest::newRow("start of a running Apache: nothing new to ask") << A::Start << true << none << 200 << false
            << false << mainOnly << "" << noPorts;
        QTest::newRow("restart of a running Apache: asked") << A::Restart << true << none << 404 << true << true
            << mainOnly << "" << noPorts;
        QTest::newRow("stop: nothing asked") << A::Stop << false << none << 200 << false << false << mainOnly << ""
            << noPorts;
        QTest::newRow("starts failed: who holds Apache's Listen port, MySQL's 3306") << A::Start << false
            << QStringList{"net start apache2", "net start mysql"} << 200 << false << false << mainOnly << ""
            << QList<quint16>{8080, 3306};
        QTest::newRow("restart: a failed stop asks nobody") << A::Restart << true
            << QStringList{"net stop apache2", "net stop mysql"} << 200 << false << false << mainOnly << "" << noPorts;
        // clang-format on
    }

    void afterCommands()
    {
        QFETCH(ServiceAction, action);
        QFETCH(bool, running);
        QFETCH(QStringList, failing);
        QFETCH(int, page);
        QFETCH(bool, asked);
        QFETCH(bool, explained);
        QFETCH(QString, listing);
        QFETCH(QString, otherHost);
        QFETCH(QList<quint16>, ports);
        FakeRunner runner;
        runner.running = running;
        for (const QString& command : failing)
            runner.answers[command].status = Status::Failed;
        QTemporaryDir dir;
        QVERIFY(MakeApacheFolder(dir.filePath("apache"), 8080) && QDir(dir.filePath("apache")).mkdir("bin") &&
                WriteAll(dir.filePath("apache/bin/httpd.exe"), "") &&
                WriteAll(dir.filePath("apache/bin/httpd"), ""));
        QStringList urls;
        QList<quint16> portsAsked;
        ApplyPassSeams seams;
        seams.runProgram = [&listing](const QString&, const QStringList& arguments) {
            return CommandOutcome{
                Status::Succeeded, 0, arguments[0] == "-S" ? listing : "Syntax OK", {}, false, {}};
        };
        seams.runner = &runner;
        seams.requestPage = [&urls, &page](const QUrl& url) {
            urls << url.toString();
            return PageAnswer{page, page ? "Forbidden" : "Connection refused"};
        };
        seams.portHolders = [&portsAsked](quint16 port) {
            portsAsked << port;
            return std::vector<platform::PortHolder>{{1234, "nginx.exe", false}};
        };
        const PassReport report = ApplyPass(seams).run(
            {dir.filePath("site"), "index.php", dir.filePath("apache"), true, action, action});
        QCOMPARE(urls, asked ? QStringList{"http://127.0.0.1:8080/"} : QStringList());
        QCOMPARE(report.site.has_value(), explained);
        QCOMPARE(report.apacheWasRunning, action == ServiceAction::Start && running);
        QCOMPARE(report.otherVirtualHost, otherHost);
        QCOMPARE(portsAsked, ports);
        QCOMPARE(int(report.portsTaken.size()), int(ports.size()));
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
        const auto portsTaken = [](PassReport& r) {
            r.portsTaken = {{Service::Apache, 80, {4, "System", true}}, {Service::Apache, 443, {77, "", false}},
                            {Service::MySql, 3306, {0, "", false}},
                            {Service::Apache, 8080, {9, "C:\\x\\httpd.exe", false}}};
        };
        CommandRecord mysqlFailed{Command(Service::MySql, Verb::Start), "net start mysql", {}};
        mysqlFailed.outcome.status = Status::Failed;
        mysqlFailed.outcome.exitCode = 2;
        QTest::newRow("ports taken: each under its service's failed start, before Apache's lines")
            << report(Outcome::Applied, {record(Status::Failed, 2, "", "", false, {"AH00072: make_sock"}), mysqlFailed},
                      portsTaken)
            << "设置已应用，但以下服务命令没有成功：\nservice apache2 start：退出码 2\n"
               "    端口 80 已被 System (PID 4) 占用：这是 Windows 自己的 HTTP 服务（http.sys），IIS 等程序通过它使用端口\n"
               "    端口 443 已被 PID 77 占用\n    端口 8080 已被 C:\\x\\httpd.exe (PID 9) 占用\n    AH00072: make_sock\n"
               "net start mysql：退出码 2\n    端口 3306 已被另一个程序占用";
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
};

QTEST_GUILESS_MAIN(TestApplyPass)
#include "tst_applypass.moc"
