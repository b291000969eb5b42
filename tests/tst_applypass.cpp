// SPDX-License-Identifier: MIT
// The apply pass without a window: what it changes, runs and reports; and the message made of it.
#include "app/applypass.h"
#include "app/passmessage.h"
#include "testutil.h"

#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

using namespace app;
using namespace services;
using namespace testutil;
using Status = CommandOutcome::Status;
using Outcome = PassReport::Outcome;

// What the installation is made to look like before the pass.
enum class Fault { None, NoLiveDocumentRoot, HttpdConfUtf16, HttpdConfIsFolder, HiddenPhpIni };

// Commands succeed; the status texts and the commands, each with the status then, make one log.
struct Recorder : CommandRunner
{
    QStringList log;
    QString status;
    CommandRecord run(const ServiceCommand& command) override
    {
        log << command.netCommandLine() + " | " + status;
        return {command, command.netCommandLine(), {}};
    }
};

class TestApplyPass : public QObject
{
    Q_OBJECT

  private slots:
    void pass_data()
    {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<QString>("root"); // typed; %1 is a scratch folder
        QTest::addColumn<QString>("index");
        QTest::addColumn<bool>("showErrors");
        QTest::addColumn<ServiceAction>("apache");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QStringList>("log");     // status texts, and commands with the status they ran under
        QTest::addColumn<QStringList>("changed"); // the files and folders the pass changed or made
        const QStringList files{"正在设置文件:php.ini", "正在设置文件:httpd.conf", ""};
        const QStringList started =
            files + QStringList{"正在启动服务:Apache2", "net start apache2 | 正在启动服务:Apache2",
                                "正在启动服务:Mysql", "net start mysql | 正在启动服务:Mysql", ""};
        const QStringList all{"php.ini", "httpd.conf", "site"};
        // clang-format off
        QTest::newRow("applied: blanks trimmed, files, folder, then Apache and MySQL") << Fault::None << "  %1/site  " << "index.php default.htm" << true << ServiceAction::Start << Outcome::Applied << started << all;
        QTest::newRow("restart: stop, then start, one status text") << Fault::None << "%1/site" << "index.php" << true << ServiceAction::Restart << Outcome::Applied << files + QStringList{"正在重启服务:Apache2", "net stop apache2 | 正在重启服务:Apache2", "net start apache2 | 正在重启服务:Apache2", "正在启动服务:Mysql", "net start mysql | 正在启动服务:Mysql", ""} << all;
        QTest::newRow("errors not shown: php.ini untouched") << Fault::None << "%1/site" << "index.php" << false << ServiceAction::Start << Outcome::Applied << started << QStringList{"httpd.conf", "site"};
        QTest::newRow("no live DocumentRoot: still applied") << Fault::NoLiveDocumentRoot << "%1/site" << "index.php" << true << ServiceAction::Start << Outcome::Applied << started << all;
        QTest::newRow("httpd.conf not rewritable: no folder, no command") << Fault::HttpdConfUtf16 << "%1/site" << "index.php" << true << ServiceAction::Start << Outcome::FileNotChanged << files << QStringList{"php.ini"};
        QTest::newRow("httpd.conf a folder: missing, nothing touched") << Fault::HttpdConfIsFolder << "%1/site" << "index.php" << true << ServiceAction::Start << Outcome::FilesMissing << QStringList() << QStringList();
#ifdef Q_OS_WIN
        QTest::newRow("hidden php.ini: missing") << Fault::HiddenPhpIni << "%1/site" << "index.php" << true << ServiceAction::Start << Outcome::FilesMissing << QStringList() << QStringList();
#endif
        QTest::newRow("empty index refused before any change") << Fault::None << "%1/site" << "" << true << ServiceAction::Start << Outcome::ValueRefused << QStringList() << QStringList();
        QTest::newRow("blank root refused before any change") << Fault::None << "   " << "index.php" << true << ServiceAction::Start << Outcome::ValueRefused << QStringList() << QStringList();
        // clang-format on
    }

    void pass()
    {
        QFETCH(Fault, fault);
        QFETCH(QString, root);
        QFETCH(QString, index);
        QFETCH(bool, showErrors);
        QFETCH(ServiceAction, apache);
        QFETCH(Outcome, outcome);
        QFETCH(QStringList, log);
        QFETCH(QStringList, changed);
        QTemporaryDir dir;
        root.replace("%1", dir.path());
        const QString folder = dir.filePath("apache"), ini = folder + "/php.ini",
                      conf = folder + "/conf/httpd.conf";
        QVERIFY(MakeApacheFolder(folder));
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
        const QHash<QString, QByteArray> before{{"php.ini", ReadAll(ini)}, {"httpd.conf", ReadAll(conf)}};

        Recorder runner;
        QStringList trimmed;
        ApplyPass pass({[&](const QString& text) { runner.log << (runner.status = text); },
                        [&](const QString& documentRoot) { trimmed << documentRoot; }, &runner});
        const SettingsState settings{root, index, folder, showErrors, apache, ServiceAction::Start};
        const PassReport report = pass.run(settings);

        QCOMPARE(report.outcome, outcome);
        QCOMPARE(runner.log, log);
        QStringList madeOrChanged;
        if (ReadAll(ini) != before["php.ini"])
            madeOrChanged << "php.ini";
        if (ReadAll(conf) != before["httpd.conf"])
            madeOrChanged << "httpd.conf";
        if (QFileInfo(dir.filePath("site")).isDir())
            madeOrChanged << "site";
        QCOMPARE(madeOrChanged, changed);
        QCOMPARE(report.folderCreated, changed.contains("site"));
        // The trimmed root goes back to the window once the files are found, and is what httpd.conf got.
        QCOMPARE(trimmed, outcome == Outcome::FilesMissing ? QStringList() : QStringList{root.trimmed()});
        QCOMPARE(report.notSet,
                 fault == Fault::NoLiveDocumentRoot ? QStringList{"DocumentRoot"} : QStringList());
        QCOMPARE(int(report.commands.size()), int(log.filter(" | ").size()));
    }

    void message_data()
    {
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QStringList>("notSet");
        QTest::addColumn<QList<CommandRecord>>("commands");
        QTest::addColumn<QString>("message");
        const auto record = [](Status status, int exitCode, const QString& output, const QString& reason,
                               bool stillRunning = false, const QStringList& logLines = {}) {
            return CommandRecord{Command(Service::Apache, Verb::Start),
                                 "service apache2 start",
                                 {status, exitCode, output, reason, stillRunning, logLines}};
        };
        const CommandRecord ok = record(Status::Succeeded, 0, "started", {});
        const QString notSetLine =
            "httpd.conf 中没有有效的 DocumentRoot 行（被注释或大小写不同的行 Apache 不读），主目录没有设置。";
        const QString failedStart = "service apache2 start：退出码 1（apache2: failed）";
        // clang-format off
        QTest::newRow("files missing") << Outcome::FilesMissing << QStringList() << QList<CommandRecord>() << "需要修改的配置文件没有找到，请检查\"Apache安装所在的目录\"是否指定正确。";
        QTest::newRow("file not changed") << Outcome::FileNotChanged << QStringList() << QList<CommandRecord>() << "无法修改配置文件\"C:\\conf\\httpd.conf\"：No space left on device\n设置没有全部完成，服务没有启动或停止。";
        QTest::newRow("applied, every command succeeded") << Outcome::Applied << QStringList() << QList<CommandRecord>{ok, ok} << "设置已完成！";
        QTest::newRow("applied, settings without a line") << Outcome::Applied << QStringList{"DocumentRoot", "DirectoryIndex"} << QList<CommandRecord>{ok} << "文件已修改，但以下设置没有生效：\n" + notSetLine + "\nhttpd.conf 中没有有效的 DirectoryIndex 行（被注释或大小写不同的行 Apache 不读），服务器默认首页没有设置。";
        QTest::newRow("every kind of failed command, Apache's log lines below its own") << Outcome::Applied << QStringList() << QList<CommandRecord>{
            record(Status::FailedToStart, 0, {}, "execvp: No such file or directory"),
            record(Status::Failed, 1, "\n  apache2: failed \nmore", {}, false, {"AH00072: make_sock: could not bind", "AH00451: no listening sockets"}),
            record(Status::Failed, 0, "Starting\nAction 'start' failed.", "Action 'start' failed."),
            record(Status::Failed, 2, {}, {}),
            ok,
            record(Status::Crashed, -1, {}, "Process crashed"),
            record(Status::TimedOut, -1, {}, {}),
            record(Status::TimedOut, -1, {}, {}, true),
            record(Status::NotSupported, 0, {}, {})}
            << "设置已应用，但以下服务命令没有成功：\nservice apache2 start：无法启动（execvp: No such file or directory）\n" + failedStart + "\n    AH00072: make_sock: could not bind\n    AH00451: no listening sockets\nservice apache2 start：退出码 0（Action 'start' failed.）\nservice apache2 start：退出码 2\nservice apache2 start：异常终止\nservice apache2 start：超时未结束，已被终止\nservice apache2 start：超时未结束，也无法终止\nservice apache2 start：此系统不支持该操作";
        QTest::newRow("settings without a line and a failed command") << Outcome::Applied << QStringList{"DocumentRoot"} << QList<CommandRecord>{record(Status::Failed, 1, "apache2: failed", {})} << "以下设置没有生效：\n" + notSetLine + "\n其余设置已应用，但以下服务命令没有成功：\n" + failedStart;
        // clang-format on
    }

    void message()
    {
        QFETCH(Outcome, outcome);
        QFETCH(QStringList, notSet);
        QFETCH(QList<CommandRecord>, commands);
        QFETCH(QString, message);
        PassReport report;
        report.outcome = outcome;
        report.notSet = notSet;
        report.commands.assign(commands.begin(), commands.end());
        report.files.push_back({"C:\\conf\\httpd.conf", "No space left on device", {}});
        QCOMPARE(ComposeMessage(report), message);
    }

    void refusedValues_data()
    {
        QTest::addColumn<QString>("root");
        QTest::addColumn<QString>("index");
        QTest::addColumn<QString>("message"); // empty: accepted
        // clang-format off
        QTest::newRow("ordinary, Chinese, root ending in a backslash: quoted") << QStringLiteral("D:\\网站\\") << "index.php a\\\\" << "";
        QTest::newRow("LF in root") << "/a\nServerName evil" << "i" << "主目录不能包含换行符或空字符，请重新输入。";
        QTest::newRow("CR in index") << "/a" << "i\rx" << "服务器默认首页不能包含换行符或空字符，请重新输入。";
        QTest::newRow("NUL in root") << QString(QStringLiteral("/a") + QChar(u'\0')) << "i" << "主目录不能包含换行符或空字符，请重新输入。";
        QTest::newRow("empty root") << "" << "i" << "主目录不能为空，请重新输入。";
        QTest::newRow("blank index") << "/a" << "   " << "服务器默认首页不能为空，请重新输入。";
        QTest::newRow("index ends in backslash") << "/a" << "index.php \\" << "服务器默认首页不能以反斜杠“\\”结尾（Apache 会把下一行接到它后面），请重新输入。";
        QTest::newRow("lone surrogate") << "i" << QString(QStringLiteral("a") + QChar(0xdc00)) << "服务器默认首页包含配置文件的编码无法表示的字符，请重新输入。";
        // clang-format on
    }

    void refusedValues()
    {
        // Each value refused, and what the message says; the pass then touches nothing (pass rows).
        QFETCH(QString, root);
        QFETCH(QString, index);
        QFETCH(QString, message);
        PassReport report;
        report.refused = config::CheckValues(root, index);
        report.outcome = report.refused ? Outcome::ValueRefused : Outcome::Applied;
        QCOMPARE(report.refused ? ComposeMessage(report) : QString(), message);
    }
};

QTEST_GUILESS_MAIN(TestApplyPass)
#include "tst_applypass.moc"
