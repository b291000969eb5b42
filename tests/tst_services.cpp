// SPDX-License-Identifier: MIT
#include "app/applypass.h"
#include "app/passmessage.h"
#include "platform/portholders.h"
#include "services/apachelog.h"
#include "services/serviceactions.h"
#include "services/servicemanager.h"
#include "testutil.h"

#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_WIN
#include "platform/files.h"
#include "platform/system.h"
#include <QScopeGuard>
#include <windows.h>
#else
#include <signal.h>
#endif

using namespace services;
using namespace testutil;
using Status = CommandOutcome::Status;

// Who runs the commands: a service manager whose programs are the stand-ins, or none: a FakeRunner.
using Manager = std::optional<ServiceManager>;
using State = platform::ServiceState;

class TestServices : public QObject
{
    Q_OBJECT
    // First on PATH, and the init script folder (mariadb's): stand-ins that log to $d/calls, run $BODY.
    QTemporaryDir m_bin;

  private slots:
    void initTestCase()
    {
        qputenv("PATH", (m_bin.path() + QDir::listSeparator()).toLocal8Bit() + qgetenv("PATH"));
        const QString sh = m_bin.filePath("stand-in");
        QVERIFY(WriteAll(sh, "#!/bin/sh\nd=${0%/*}\necho ${0##*/} $* >>$d/calls\neval \"$BODY\""));
        QVERIFY(QFile::setPermissions(sh, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        for (const char* name : {"net", "systemctl", "service", "mariadb"})
            QVERIFY(QFile::copy(sh, m_bin.filePath(name)));
        QVERIFY(WriteAll(m_bin.filePath("brellimar-not-executable"), "exit 0\n"));
    }

    void apply_data()
    {
        // manager: none, a FakeRunner; apache, mysql: the actions; body: what the stand-ins run. records:
        // each command as run, status, reason and Apache's log lines; without a manager: the status texts,
        // and each command with the status text then.
        QTest::addColumn<Manager>("manager");
        QTest::addColumn<ServiceAction>("apache");
        QTest::addColumn<ServiceAction>("mysql");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QStringList>("records");
        // clang-format off
        using A = ServiceAction;
        QTest::newRow("pause, stop: each status text once, before its commands") << Manager() << A::Pause << A::Stop
            << QByteArray() << QStringList{"正在暂停服务:Apache2", "net pause apache2 | 正在暂停服务:Apache2",
                                           "正在停止服务:Mysql", "net stop mysql | 正在停止服务:Mysql"};
#ifndef Q_OS_WIN // sh stand-ins
        using M = ServiceManager;
        // What a failed start adds to Apache's log: a blank line, more lines than a message takes, one too long.
        const QStringList failed{"", "AH00072: make_sock: could not bind to address 0.0.0.0:80",
                                 "AH00451: no listening sockets available", "AH00526: 语法错误", QString(250, 'x'),
                                 "AH00015: Unable to open logs", "one line too many"};
        const QByteArray logging = "[ \"$*\" = 'start apache2' ] && printf '" + failed.join("\\r\\n").toUtf8() +
                                   "\\r\\n' >>$d/log || echo $* >>$d/log; ";
        const QString logged = failed.mid(1, 3).join(' ') + ' ' + QString(200, 'x') + ' ' + failed[5];
        QTest::newRow("systemd: pause runs nothing, mysql stays mysql") << Manager(M::Systemd) << A::Pause << A::Restart
            << QByteArray() << QStringList{"net pause apache2 5", "systemctl stop mysql 0", "systemctl start mysql 0"};
        QTest::newRow("sysv: restart, a mysql script stays mysql; started: no log") << Manager(M::SysVinit)
            << A::Restart << A::Start << "touch $d/mysql; " + logging
            << QStringList{"service apache2 stop 0", "service apache2 start 0", "service mysql start 0"};
        QTest::newRow("sysv: failed. with exit 0, only mariadb's script; no log") << Manager(M::SysVinit)
            << A::Start << A::Stop << QByteArray("echo \"Starting $1\"; echo \"Action '$2' failed.\"")
            << QStringList{"service apache2 start 2 Action 'start' failed.",
                           "service mariadb stop 2 Action 'stop' failed."};
        QTest::newRow("failed start: the lines it logged; the rest still run") << Manager(M::Systemd) << A::Restart
            << A::Start << logging + "exit 1"
            << QStringList{"systemctl stop apache2 2", "systemctl start apache2 2 " + logged,
                           "systemctl start mysql 2"};
#endif
        // clang-format on
    }

    void apply()
    {
        QFETCH(Manager, manager);
        QFETCH(ServiceAction, apache);
        QFETCH(ServiceAction, mysql);
        QFETCH(QByteArray, body);
        QFETCH(QStringList, records);
        qputenv("BODY", body);
        for (const char* file : {"log", "mysql"})
            QFile::remove(m_bin.filePath(file));
        QVERIFY(WriteAll(m_bin.filePath("calls"), ""));
        SystemCommandRunner system(manager.value_or(ServiceManager::WindowsNet), std::chrono::seconds(20),
                                   m_bin.path());
        FakeRunner fake;
        ApacheLogRunner logging(manager ? static_cast<CommandRunner&>(system) : fake,
                                {m_bin.filePath("missing"), m_bin.filePath("log")});
        QStringList seen, ran;
        const auto setStatus = [&](const QString& text) { fake.Show(text); };
        for (const CommandRecord& r : ApplyServiceActions(apache, mysql, {}, logging, setStatus)) {
            const QStringList got{r.commandLine, QString::number(int(r.outcome.status)), r.outcome.reason};
            seen << (got + r.outcome.logLines).join(' ').simplified();
            ran << (manager && r.outcome.status != Status::NotSupported ? r.commandLine + '\n' : "");
        }
        QCOMPARE(manager ? seen : fake.log, records);
        QCOMPARE(QString::fromUtf8(ReadAll(m_bin.filePath("calls"))), ran.join(""));
    }

    void netJudgedByState_data()
    {
        // A net command run by a stand-in net: body, what it prints and exits with; states: what the service
        // manager reports before it, then each time it is asked after it. What became of it: status,
        // already (in the asked state before), reason.
        QTest::addColumn<Verb>("verb");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QList<State>>("states");
        QTest::addColumn<Status>("status");
        QTest::addColumn<bool>("already");
        QTest::addColumn<QString>("reason");
        // clang-format off
        const QList<State> running{State::Running, State::Running}, stopped{State::Stopped, State::Stopped};
        QTest::newRow("Wine: start of a running service") << Verb::Start
            << QByteArray("echo 'The X service is starting.'; echo 'Service already running.'; exit 1")
            << running << Status::Succeeded << true << "";
        QTest::newRow("a Chinese Windows: stop of a stopped service, 3521") << Verb::Stop
            << QByteArray("echo '没有启动 X 服务。'; echo '请键入 NET HELPMSG 3521 以获得更多的帮助。'; exit 2")
            << stopped << Status::Succeeded << true << "";
        QTest::newRow("running after a while: asked again") << Verb::Start << QByteArray("exit 0")
            << QList<State>{State::Stopped, State::StartPending, State::StartPending, State::Running}
            << Status::Succeeded << false << "";
        QTest::newRow("net says started, the service stopped: net's lines") << Verb::Start
            << QByteArray("echo 'The X service is starting.'; echo; echo 'The X service was started successfully.'")
            << stopped << Status::Failed << false
            << "服务管理器报告服务已停止：The X service is starting. The X service was started successfully.";
        QTest::newRow("pause left it running") << Verb::Pause << QByteArray("echo 'usage'") << running << Status::Failed
            << false << "服务管理器报告服务正在运行：usage";
        QTest::newRow("no state: net's exit code") << Verb::Stop << QByteArray("echo 'NET HELPMSG 2185.'; exit 2")
            << QList<State>{State::Unknown, State::Unknown} << Status::Failed << false << "";
        // clang-format on
    }

    void netJudgedByState()
    {
#ifndef Q_OS_UNIX
        QSKIP("net is a sh stand-in here: POSIX only.");
#else
        QFETCH(Verb, verb);
        QFETCH(QByteArray, body);
        QFETCH(QList<State>, states);
        QFETCH(Status, status);
        QFETCH(bool, already);
        QFETCH(QString, reason);
        qputenv("BODY", body);
        SystemCommandRunner runner(
            ServiceManager::WindowsNet, std::chrono::seconds(20), m_bin.path(), [&](const QString& name) {
                return name == "X" && !states.isEmpty() ? states.takeFirst() : State::Unknown;
            });
        const CommandOutcome outcome = runner.run({Service::Apache, verb, "X"}).outcome;
        QCOMPARE(outcome.status, status);
        QCOMPARE(outcome.alreadyInState, already);
        QCOMPARE(outcome.reason, reason);
        QVERIFY(states.isEmpty());
#endif
    }

    void serviceNames_data()
    {
        // installed: NAME=its binary path, in the service manager's order; folder: the Apache folder typed.
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("apache");
        QTest::addColumn<QString>("mysql");
        QTest::addColumn<QString>("note");
        // clang-format off
        QTest::newRow("folder typed in other case and separators; quoted, with arguments")
            << QStringList{"Apache2.4=\"C:\\Apache24\\bin\\httpd.exe\" -k runservice",
                           "MySQL80=\"C:\\Program Files\\MySQL\\MySQL Server 8.0\\bin\\mysqld.exe\" "
                           "--defaults-file=my.ini MySQL80"}
            << "c:/apache24//" << "Apache2.4" << "MySQL80" << "";
        QTest::newRow("unquoted path with blanks and arguments")
            << QStringList{"Apache=C:\\Program Files\\Apache24\\bin\\HTTPD.EXE -k runservice",
                           "MariaDB=C:\\Program Files\\MariaDB 11.4\\bin\\mariadbd.exe MariaDB"}
            << "C:\\Program Files\\Apache24" << "Apache" << "MariaDB" << "";
        QTest::newRow("several MySQL: the first, said so")
            << QStringList{"MySQL57=D:\\mysql57\\bin\\mysqld.exe", "MariaDB=C:\\MariaDB\\bin\\mariadbd.exe"}
            << "C:\\Apache24" << "apache2" << "MySQL57" << "找到多个 MySQL 服务，使用了 MySQL57。";
        QTest::newRow("apache2 and mysql in any case stay")
            << QStringList{"Apache2.4=C:\\Apache24\\bin\\httpd.exe", "MySQL80=C:\\mysql\\bin\\mysqld.exe",
                           "Apache2=C:\\old\\bin\\httpd.exe", "MYSQL=C:\\old\\bin\\mysqld.exe"}
            << "C:\\Apache24" << "apache2" << "mysql" << "";
        QTest::newRow("none matching: another folder, other programs")
            << QStringList{"Apache2.4=C:\\Apache24\\bin\\httpd.exe", "Apache=C:\\Apache2\\httpd.exe",
                           "MySQLRouter=C:\\mysql\\bin\\mysqlrouter.exe", "backup=C:\\mysqld.exe\\copy.exe"}
            << "C:\\Apache2" << "apache2" << "mysql" << "";
        // clang-format on
    }

    void serviceNames()
    {
        QFETCH(QStringList, installed);
        QFETCH(QString, folder);
        QFETCH(QString, apache);
        QFETCH(QString, mysql);
        QFETCH(QString, note);
        std::vector<platform::InstalledService> services;
        for (const QString& service : installed)
            services.push_back({service.split('=')[0], platform::ServiceProgram(service.section('=', 1))});
        const ServiceNames found = FindServiceNames(services, folder);
        QCOMPARE(found.apache, apache);
        QCOMPARE(found.mysql, mysql);
        QCOMPARE(found.note, note);
    }

    void windowsServices_data()
    {
        // services: NAME=its binary path, registered for real, %1 the scratch folder; the Apache folder is
        // %1/Apache24, and a program given "fail" ends at once. running: started before the pass. message:
        // what the pass says, net's words as Wine's net prints them in Chinese. asked: the new root was asked
        // for. requests: what each program was asked, in all.
        QTest::addColumn<QStringList>("services");
        QTest::addColumn<ServiceAction>("action");
        QTest::addColumn<QStringList>("running");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<QStringList>("requests");
        // clang-format off
        const QString apache = "Apache2.4=\"%1\\Apache24\\bin\\httpd.exe\" -k runservice";
        const QString mysql = "MySQL80=%1\\mysql\\bin\\mysqld.exe --defaults-file=my.ini MySQL80";
        const QString done = "设置已完成！";
        const QString mysqlStarted = "mysql/bin/mysqld.exe start";
        QTest::newRow("found by program") << QStringList{apache, mysql} << ServiceAction::Start << QStringList()
            << done << true << QStringList{"Apache24/bin/httpd.exe start", mysqlStarted};
        QTest::newRow("apache2 and mysql present")
            << QStringList{apache, mysql, "apache2=%1\\other\\bin\\httpd.exe", "mysql=%1\\other\\bin\\mysqld.exe"}
            << ServiceAction::Start << QStringList() << done << true
            << QStringList{"other/bin/httpd.exe start", "other/bin/mysqld.exe start"};
        QTest::newRow("none matching") << QStringList{"Apache2.4=%1\\other\\bin\\httpd.exe"} << ServiceAction::Start
            << QStringList() << "设置已应用，但以下服务命令没有成功：\nnet start apache2：退出码 1（无法获取服务的句柄。）\n"
                                "net start mysql：退出码 1（无法获取服务的句柄。）" << false << QStringList();
        QTest::newRow("start of a running Apache: the advice, no page asked") << QStringList{apache, mysql}
            << ServiceAction::Start << QStringList{"Apache2.4"}
            << "文件已修改，服务命令已执行，但：\nApache 已经在运行，它要重启后才会读取新的设置：请选择“重启”再应用一次。"
            << false << QStringList{"Apache24/bin/httpd.exe start", mysqlStarted};
        QTest::newRow("stop of stopped services: done") << QStringList{apache, mysql} << ServiceAction::Stop
            << QStringList() << done << false << QStringList();
        QTest::newRow("a start whose program ends at once: failed, with net's lines")
            << QStringList{"Apache2.4=%1\\Apache24\\bin\\httpd.exe fail", mysql} << ServiceAction::Start
            << QStringList()
            << "设置已应用，但以下服务命令没有成功：\nnet start Apache2.4：退出码 1（服务管理器报告服务已停止："
               "正在启动服务 Apache2.4。 服务请求超时。）" << false
            << QStringList{"Apache24/bin/httpd.exe start", mysqlStarted};
        // clang-format on
    }

    void windowsServices()
    {
#ifndef Q_OS_WIN
        QSKIP("Registers real services with the Windows service manager");
#else
        QFETCH(QStringList, services);
        QFETCH(ServiceAction, action);
        QFETCH(QStringList, running);
        QFETCH(QString, message);
        QFETCH(bool, asked);
        QFETCH(QStringList, requests);
        QTemporaryDir dir;
        const QStringList programs{"Apache24/bin/httpd.exe", "mysql/bin/mysqld.exe", "other/bin/httpd.exe",
                                   "other/bin/mysqld.exe"};
        for (const QString& program : programs)
            QVERIFY(QDir(dir.path()).mkpath(program.section('/', 0, -2)) &&
                    QFile::copy(BRELLIMAR_TEST_SERVICE, dir.filePath(program)));
        QVERIFY(MakeApacheFolder(dir.filePath("Apache24")));
        const QString sc = qEnvironmentVariable("SystemRoot") + "\\System32\\sc.exe";
        QStringList registered;
        const auto unregister = qScopeGuard([&] {
            for (const QString& name : registered) {
                RunProgram(platform::NetProgram(), {"stop", name});
                RunProgram(sc, {"delete", name});
            }
        });
        for (const QString& service : services) {
            registered << service.section('=', 0, 0);
            const QString binaryPath = service.section('=', 1).arg(QDir::toNativeSeparators(dir.path()));
            const Run run = RunProgram(sc, {"create", registered.last(), "binPath=", binaryPath});
            QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        }
        for (const QString& name : running)
            QCOMPARE(RunProgram(platform::NetProgram(), {"start", name}).exitCode, 0);

        SystemCommandRunner runner(ServiceManager::WindowsNet, std::chrono::seconds(60));
        app::ApplyPassSeams seams; // the real service manager; Apache's test left out, the page answered
        seams.runner = &runner;
        seams.runProgram = [](const config::ApacheInvocation&) { return CommandOutcome(); };
        bool pageAsked = false;
        seams.requestPage = [&](const QUrl&) {
            pageAsked = true;
            return PageAnswer{200, {}};
        };
        const app::PassReport report = app::ApplyPass(seams).run(
            {dir.filePath("www"), "index.php", dir.filePath("Apache24"), true, action, action});
        QCOMPARE(app::ComposeMessage(report), message);
        QCOMPARE(pageAsked, asked);
        const auto requested = [&] {
            QStringList lines;
            for (const QString& program : programs)
                if (QFile::exists(dir.filePath(program + ".log")))
                    lines << program + ' ' + QString(ReadAll(dir.filePath(program + ".log"))).simplified();
            return lines;
        };
        QTRY_COMPARE(requested(), requests);
#endif
    }

    void runProcess_data()
    {
        // script: for sh -c, %DIR% a scratch folder; one word is a program run as it is. status: timed out
        // after 1 s, else within 20 s. result: exit code, reason or first output line, whether the process in
        // %DIR%/pid lives.
        QTest::addColumn<QString>("script");
        QTest::addColumn<Status>("status");
        QTest::addColumn<QString>("result");
        // clang-format off
        QTest::newRow("missing program") << "brellimar-no-such-program" << Status::FailedToStart
            << "0 execvp: No such file or directory";
        QTest::newRow("file without execute bit") << "brellimar-not-executable" << Status::FailedToStart
            << "0 execvp: Permission denied";
        QTest::newRow("non-zero exit") << "echo; echo '  no such service ' >&2; exit 3" << Status::Failed
            << "3 no such service";
        QTest::newRow("killed by a signal") << "kill -9 $$" << Status::Crashed << "-1 Process crashed";
        QTest::newRow("succeeds") << "echo started" << Status::Succeeded << "0 started";
        // ulimit: a flood left behind by a test that was killed stops at 4 GB.
        QTest::newRow("endless output") << "ulimit -f 8000000; echo $$ > '%DIR%/pid'; exec yes flood"
            << Status::TimedOut << "-1 flood gone";
        QTest::newRow("daemon writing to the output")
            << "echo started; (while [ -d '%DIR%' ]; do echo tick; echo tick >> '%DIR%/ticks'; sleep 0.1; done) & "
               "echo $! > '%DIR%/pid'" << Status::Succeeded << "0 started alive";
        QTest::newRow("ends on SIGTERM at the bound") << "echo $$ > '%DIR%/pid'; echo waiting; exec sleep 60"
            << Status::TimedOut << "-1 waiting gone";
        QTest::newRow("ignores SIGTERM past the bound")
            << "trap 'echo term' TERM; echo $$ > '%DIR%/pid'; while [ -d '%DIR%' ]; do sleep 0.1; done"
            << Status::TimedOut << "-1 term gone";
        // clang-format on
    }

    void runProcess()
    {
#ifndef Q_OS_UNIX
        QSKIP("The rows run sh scripts and signal processes: POSIX only.");
#else
        QFETCH(QString, script);
        QFETCH(Status, status);
        QFETCH(QString, result);
        QTemporaryDir dir;
        script.replace("%DIR%", dir.path());
        const auto timeout = std::chrono::seconds(status == Status::TimedOut ? 1 : 20);
        const CommandOutcome o = script.contains(' ') ? RunProcess("sh", {"-c", script}, timeout)
                                                      : RunProcess(script, {}, timeout);
        const qint64 ticks = QFileInfo(dir.filePath("ticks")).size(); // a daemon writes on to its output
        QTRY_VERIFY(!result.endsWith("alive") || QFileInfo(dir.filePath("ticks")).size() > ticks + 10);
        const QString got = QString::number(o.exitCode) + ' ' + o.reason + o.outputLines(1).value(0);
        const pid_t pid = ReadAll(dir.filePath("pid")).toInt();
        const QString fate = pid <= 0 ? "" : ::kill(pid, SIGKILL) == 0 ? "alive" : "gone";
        QCOMPARE(o.status, status);
        QCOMPARE((got + ' ' + fate).trimmed(), result);
        QVERIFY(!o.stillRunning);
        const QString memory = ReadAll("/proc/self/status"); // VmHWM: the most it ever held
        QVERIFY(memory.section("VmHWM:", 1).section("kB", 0, 0).toInt() < 256 * 1024);
#endif
    }

    void portHolders()
    {
        // This test listening on a port: named by its id and program, IPv4 or IPv6; once closed, nobody.
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        const std::vector<platform::PortHolder> holders = platform::PortHolders(server.serverPort());
        QCOMPARE(int(holders.size()), 1);
#ifdef Q_OS_WIN
        if (holders[0].pid == 0)
            QSKIP("Wine lists the listening socket but names no process as its owner (PID 0)");
        const QString program = QDir::toNativeSeparators(QCoreApplication::applicationFilePath());
#else
        const QString program = "tst_services"; // its comm
#endif
        QCOMPARE(holders[0].pid, QCoreApplication::applicationPid());
        QCOMPARE(holders[0].program, program);
        const quint16 port = server.serverPort();
        server.close();
        QVERIFY(platform::PortHolders(port).empty());
    }

    void lookups()
    {
        // Start wins over Stop, Stop over Pause; with none of them it is a restart.
        QCOMPARE(ActionFromButtons(true, true, true), ServiceAction::Start);
        QCOMPARE(ActionFromButtons(false, true, true), ServiceAction::Stop);
        QCOMPARE(ActionFromButtons(false, false, true), ServiceAction::Pause);
        QCOMPARE(ActionFromButtons(false, false, false), ServiceAction::Restart);
        QTemporaryDir dir;
#ifndef Q_OS_WIN
        QCOMPARE(DetectServiceManager(dir.path()), ServiceManager::Systemd);
        QCOMPARE(DetectServiceManager(dir.filePath("none")), ServiceManager::SysVinit);
#else
        // net by its full path, never found by search
        QCOMPARE(DetectServiceManager(dir.path()), ServiceManager::WindowsNet);
        QCOMPARE(MapCommand(Command(Service::Apache, Verb::Start), ServiceManager::WindowsNet)->program,
                 qEnvironmentVariable("SystemRoot", "C:\\Windows") + "\\System32\\net.exe");
        if (::GetOEMCP() != 936)
            QSKIP("net's output below is in the Chinese OEM code page 936 (under Wine: LANG=zh_CN.UTF-8)");
        const char* oem = "NET HELPMSG 2182: \xc3\xfc\xc1\xee\xb3\xc9\xb9\xa6\xcd\xea\xb3\xc9\xa1\xa3\r\n"
                          "\xce\xde\xb7\xa8\xbb\xf1\xc8\xa1\xb7\xfe\xce\xf1\xb5\xc4\xbe\xe4\xb1\xfa\xa1\xa3";
        QCOMPARE(platform::DecodeConsoleOutput(oem),
                 QStringLiteral("NET HELPMSG 2182: 命令成功完成。\r\n无法获取服务的句柄。"));
#endif
    }
};

QTEST_GUILESS_MAIN(TestServices)
#include "tst_services.moc"
