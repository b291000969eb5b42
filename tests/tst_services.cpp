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
#include "platform/system.h"
#include <QScopeGuard>
#else
#include <signal.h>
#endif

using namespace services;
using namespace testutil;
using Status = CommandOutcome::Status;

// Who runs the commands: a service manager whose programs are the stand-ins, or none: a FakeRunner.
using Manager = std::optional<ServiceManager>;
using State = platform::ServiceState;
using States = QHash<QString, QList<State>>; // by service name

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

    void commands_data()
    {
        // manager: none, a FakeRunner; apache, mysql: the actions; body: what the stand-ins run; states: by
        // service, what the service manager reports before each command, then each time it is asked after.
        // records: each command as run, status, reason, whether already so before, Apache's log lines;
        // without a manager: the status texts, and each command with the status text then.
        QTest::addColumn<Manager>("manager");
        QTest::addColumn<ServiceAction>("apache");
        QTest::addColumn<ServiceAction>("mysql");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<States>("states");
        QTest::addColumn<QStringList>("records");
        // clang-format off
        using A = ServiceAction;
        QTest::newRow("pause, stop: each status text once, before its commands") << Manager() << A::Pause << A::Stop
            << QByteArray() << States() << QStringList{"正在暂停服务:Apache2", "net pause apache2 | 正在暂停服务:Apache2",
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
        QTest::newRow("sysv: restart, a mysql script stays mysql; started: no log") << Manager(M::SysVinit)
            << A::Restart << A::Start << "touch $d/mysql; " + logging << States()
            << QStringList{"service apache2 stop 0", "service apache2 start 0", "service mysql start 0"};
        QTest::newRow("systemd: pause runs nothing, mysql stays mysql") << Manager(M::Systemd) << A::Pause << A::Restart
            << QByteArray() << States()
            << QStringList{"net pause apache2 5", "systemctl stop mysql 0", "systemctl start mysql 0"};
        QTest::newRow("sysv: failed. with exit 0, only mariadb's script; no log") << Manager(M::SysVinit)
            << A::Start << A::Stop << QByteArray("echo \"Starting $1\"; echo \"Action '$2' failed.\"") << States()
            << QStringList{"service apache2 start 2 Action 'start' failed.",
                           "service mariadb stop 2 Action 'stop' failed."};
        QTest::newRow("failed start: the lines it logged; the rest still run") << Manager(M::Systemd) << A::Restart
            << A::Start << logging + "exit 1" << States()
            << QStringList{"systemctl stop apache2 2", "systemctl start apache2 2 " + logged,
                           "systemctl start mysql 2"};
        // net is judged by the state it leaves, a pending one asked again; with no state known, by its exit code.
        const State stopped = State::Stopped, running = State::Running, pending = State::StartPending;
        QTest::newRow("net: its exit code overruled") << Manager(M::WindowsNet) << A::Restart << A::Start
            << QByteArray("echo 'Service already running.'; exit 1")
            << States{{"apache2", {stopped, stopped, stopped, pending, pending, running}},
                      {"mysql", {running, running}}}
            << QStringList{"net stop apache2 0 already", "net start apache2 0", "net start mysql 0 already"};
        const QString said = "：X is starting. X started.";
        QTest::newRow("net: its success overruled; no state, its exit code") << Manager(M::WindowsNet) << A::Restart
            << A::Pause << QByteArray("echo 'X is starting.'; echo; echo 'X started.'; [ $1 != stop ]")
            << States{{"apache2", {State::Unknown, State::Unknown, stopped, stopped}}, {"mysql", {running, running}}}
            << QStringList{"net stop apache2 2", "net start apache2 2 服务管理器报告服务已停止" + said,
                           "net pause mysql 2 服务管理器报告服务正在运行" + said};
#endif
        // clang-format on
    }

    void commands()
    {
        QFETCH(Manager, manager);
        QFETCH(ServiceAction, apache);
        QFETCH(ServiceAction, mysql);
        QFETCH(QByteArray, body);
        QFETCH(States, states);
        QFETCH(QStringList, records);
        qputenv("BODY", body);
        for (const char* file : {"log", "mysql"})
            QFile::remove(m_bin.filePath(file));
        QVERIFY(WriteAll(m_bin.filePath("calls"), ""));
        SystemCommandRunner system(manager.value_or(ServiceManager::WindowsNet), std::chrono::seconds(20),
                                   m_bin.path(), [&](const QString& name) {
                                       return states[name].isEmpty() ? State::Unknown
                                                                     : states[name].takeFirst();
                                   });
        FakeRunner fake;
        ApacheLogRunner logging(manager ? static_cast<CommandRunner&>(system) : fake,
                                {m_bin.filePath("missing"), m_bin.filePath("log")});
        QStringList seen, ran;
        const auto setStatus = [&](const QString& text) { fake.Show(text); };
        for (const CommandRecord& r : ApplyServiceActions(apache, mysql, {}, logging, setStatus)) {
            const QString already = r.outcome.alreadyInState ? "already" : "";
            const QStringList got{r.commandLine, QString::number(int(r.outcome.status)), r.outcome.reason,
                                  already};
            seen << (got + r.outcome.logLines).join(' ').simplified();
            ran << (manager && r.outcome.status != Status::NotSupported ? r.commandLine + '\n' : "");
        }
        QCOMPARE(manager ? seen : fake.log, records);
        QCOMPARE(QString::fromUtf8(ReadAll(m_bin.filePath("calls"))), ran.join(""));
    }

    void serviceNames_data()
    {
        // installed: NAME=its binary path, in the service manager's order; folder: the Apache folder typed.
        // found: Apache's service, MySQL's, the note.
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("found");
        // clang-format off
        QTest::newRow("folder typed in other case and separators; quoted, with arguments; several MySQL: the first")
            << QStringList{"Apache2.4=\"C:\\Apache24\\bin\\httpd.exe\" -k runservice",
                           "MySQL80=\"C:\\Program Files\\MySQL\\MySQL Server 8.0\\bin\\mysqld.exe\" "
                           "--defaults-file=my.ini MySQL80", "MariaDB=C:\\MariaDB\\bin\\mariadbd.exe"}
            << "c:/apache24//" << "Apache2.4 MySQL80 找到多个 MySQL 服务，使用了 MySQL80。";
        QTest::newRow("unquoted path with blanks and arguments")
            << QStringList{"Apache=C:\\Program Files\\Apache24\\bin\\HTTPD.EXE -k runservice",
                           "MariaDB=C:\\Program Files\\MariaDB 11.4\\bin\\mariadbd.exe MariaDB"}
            << "C:\\Program Files\\Apache24" << "Apache MariaDB";
        QTest::newRow("apache2 and mysql in any case stay")
            << QStringList{"Apache2.4=C:\\Apache24\\bin\\httpd.exe", "MySQL80=C:\\mysql\\bin\\mysqld.exe",
                           "Apache2=C:\\old\\bin\\httpd.exe", "MYSQL=C:\\old\\bin\\mysqld.exe"}
            << "C:\\Apache24" << "apache2 mysql";
        QTest::newRow("none matching: another folder, other programs")
            << QStringList{"Apache2.4=C:\\Apache24\\bin\\httpd.exe", "Apache=C:\\Apache2\\httpd.exe",
                           "MySQLRouter=C:\\mysql\\bin\\mysqlrouter.exe", "backup=C:\\mysqld.exe\\copy.exe"}
            << "C:\\Apache2" << "apache2 mysql";
        // clang-format on
    }

    void serviceNames()
    {
        QFETCH(QStringList, installed);
        QFETCH(QString, folder);
        QFETCH(QString, found);
        std::vector<platform::InstalledService> services;
        for (const QString& service : installed)
            services.push_back(
                {service.section('=', 0, 0), platform::ServiceProgram(service.section('=', 1))});
        const ServiceNames names = FindServiceNames(services, folder);
        QCOMPARE((names.apache + ' ' + names.mysql + ' ' + names.note).trimmed(), found);
    }

    void windowsServices_data()
    {
        // services: NAME=its binary path, registered for real, %1 the scratch folder; the Apache folder is
        // %1/Apache24, and a program given "fail" ends at once. running: started before the pass. message:
        // what the pass says, net's words as Wine's net prints them in Chinese.
        QTest::addColumn<QStringList>("services");
        QTest::addColumn<ServiceAction>("apache");
        QTest::addColumn<ServiceAction>("mysql");
        QTest::addColumn<QStringList>("running");
        QTest::addColumn<QString>("message");
        // clang-format off
        using A = ServiceAction;
        const QString apache = "Apache2.4=\"%1\\Apache24\\bin\\httpd.exe\" -k runservice";
        const QString mysql = "MySQL80=%1\\mysql\\bin\\mysqld.exe --defaults-file=my.ini MySQL80";
        const QString failed = "设置已应用，但以下服务命令没有成功：\n";
        QTest::newRow("none matching") << QStringList{"Apache2.4=%1\\other\\bin\\httpd.exe"} << A::Start << A::Start
            << QStringList() << failed + "net start apache2：退出码 1（无法获取服务的句柄。）\n"
                                         "net start mysql：退出码 1（无法获取服务的句柄。）";
        QTest::newRow("start of a running Apache: the advice; stop of a stopped MySQL: done")
            << QStringList{apache, mysql} << A::Start << A::Stop << QStringList{"Apache2.4"}
            << "文件已修改，服务命令已执行，但：\nApache 已经在运行，它要重启后才会读取新的设置：请选择“重启”再应用一次。";
        QTest::newRow("found by program; a start whose program ends at once: failed, with net's lines")
            << QStringList{"Apache2.4=%1\\Apache24\\bin\\httpd.exe fail", mysql} << A::Start << A::Start
            << QStringList() << failed + "net start Apache2.4：退出码 1（服务管理器报告服务已停止："
                                         "正在启动服务 Apache2.4。 服务请求超时。）";
        // clang-format on
    }

    void windowsServices()
    {
#ifndef Q_OS_WIN
        QSKIP("Registers real services with the Windows service manager");
#else
        QFETCH(QStringList, services);
        QFETCH(ServiceAction, apache);
        QFETCH(ServiceAction, mysql);
        QFETCH(QStringList, running);
        QFETCH(QString, message);
        QTemporaryDir dir;
        for (const QString& program : QStringList{"Apache24/bin/httpd.exe", "mysql/bin/mysqld.exe"})
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
        app::ApplyPassSeams seams; // the real service manager; Apache's test left out
        seams.runner = &runner;
        seams.runProgram = [](const config::ApacheInvocation&) { return CommandOutcome(); };
        const app::PassReport report = app::ApplyPass(seams).run(
            {dir.filePath("www"), "index.php", dir.filePath("Apache24"), true, apache, mysql});
        QCOMPARE(app::ComposeMessage(report), message);
#endif
    }

    void runProcess_data()
    {
        // script: for sh -c, %DIR% a scratch folder; one word: a program run as it is; each for at most 3 s.
        // result: status, exit code, reason or first output line, whether the process in %DIR%/pid lives.
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("result");
        // clang-format off
        QTest::newRow("missing program") << "brellimar-no-such-program" << "1 0 execvp: No such file or directory";
        QTest::newRow("file without execute bit") << "brellimar-not-executable" << "1 0 execvp: Permission denied";
        QTest::newRow("non-zero exit") << "echo; echo '  no such service ' >&2; exit 3" << "2 3 no such service";
        QTest::newRow("killed by a signal") << "kill -9 $$" << "3 -1 Process crashed";
        // ulimit: a flood left behind by a test that was killed stops at 4 GB.
        QTest::newRow("endless output, ends on SIGTERM at the bound")
            << "ulimit -f 8000000; echo $$ > '%DIR%/pid'; exec yes flood" << "4 -1 flood gone";
        QTest::newRow("daemon writing to the output")
            << "echo started; (while [ -d '%DIR%' ]; do echo tick; echo tick >> '%DIR%/ticks'; sleep 0.1; done) & "
               "echo $! > '%DIR%/pid'" << "0 0 started alive";
        QTest::newRow("ignores SIGTERM past the bound")
            << "trap 'echo term' TERM; echo $$ > '%DIR%/pid'; while [ -d '%DIR%' ]; do sleep 0.1; done"
            << "4 -1 term gone";
        // clang-format on
    }

    void runProcess()
    {
#ifndef Q_OS_UNIX
        QSKIP("The rows run sh scripts and signal processes: POSIX only.");
#else
        QFETCH(QString, script);
        QFETCH(QString, result);
        QTemporaryDir dir;
        script.replace("%DIR%", dir.path());
        const auto bound = std::chrono::seconds(3);
        const CommandOutcome o =
            script.contains(' ') ? RunProcess("sh", {"-c", script}, bound) : RunProcess(script, {}, bound);
        const qint64 ticks = QFileInfo(dir.filePath("ticks")).size(); // a daemon writes on to its output
        QTRY_VERIFY(!result.endsWith("alive") || QFileInfo(dir.filePath("ticks")).size() > ticks + 10);
        const pid_t pid = ReadAll(dir.filePath("pid")).toInt();
        const QString fate = pid <= 0 ? "" : ::kill(pid, SIGKILL) == 0 ? "alive" : "gone";
        const QStringList got{QString::number(int(o.status)), QString::number(o.exitCode),
                              o.reason + o.outputLines(1).value(0), fate};
        QCOMPARE(got.join(' ').trimmed(), result);
        QVERIFY(!o.stillRunning);
        const QString memory = ReadAll("/proc/self/status"); // VmHWM: the most it ever held
        QVERIFY(memory.section("VmHWM:", 1).section("kB", 0, 0).toInt() < 256 * 1024);
#endif
    }

    void portHolders()
    {
        // This test listening on a port: named by its id and program; once closed, nobody.
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        const quint16 port = server.serverPort();
        const std::vector<platform::PortHolder> holders = platform::PortHolders(port);
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
        server.close();
        QVERIFY(platform::PortHolders(port).empty());
    }

    void lookups()
    {
        QTemporaryDir dir;
#ifndef Q_OS_WIN
        QCOMPARE(DetectServiceManager(dir.path()), ServiceManager::Systemd);
        QCOMPARE(DetectServiceManager(dir.filePath("none")), ServiceManager::SysVinit);
#else
        // net by its full path, never found by search
        QCOMPARE(DetectServiceManager(dir.path()), ServiceManager::WindowsNet);
        QCOMPARE(MapCommand(Command(Service::Apache, Verb::Start), ServiceManager::WindowsNet)->program,
                 qEnvironmentVariable("SystemRoot", "C:\\Windows") + "\\System32\\net.exe");
#endif
    }
};

QTEST_GUILESS_MAIN(TestServices)
#include "tst_services.moc"
