// SPDX-License-Identifier: MIT
#include "app/applypass.h"
#include "services/apachelog.h"
#include "services/serviceactions.h"
#include "services/servicemanager.h"
#include "testutil.h"

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

// The rows of serviceNames and runProcess; their tables say what each column holds.
using NamesRow = std::tuple<QStringList, QString, QStringList>;
using ProcessRow = std::tuple<QString, Status, QString>;

// The manager, the actions on Apache and MySQL; body: what the stand-ins run; records: command line as
// run, status, reason, Apache's log lines; without a service manager: the status texts and each command
// with the status text then.
using ApplyRow = std::tuple<Manager, ServiceAction, ServiceAction, QByteArray, QStringList>;

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
        // clang-format off
        QTest::addColumn<ApplyRow>("row");
        using A = ServiceAction;
        QTest::newRow("start, stop: each status text once, before its commands") << ApplyRow{Manager(), A::Start, A::Stop, QByteArray(), QStringList{"正在启动服务:Apache2", "net start apache2 | 正在启动服务:Apache2", "正在停止服务:Mysql", "net stop mysql | 正在停止服务:Mysql"}};
        QTest::newRow("pause, start") << ApplyRow{Manager(), A::Pause, A::Start, QByteArray(), QStringList{"正在暂停服务:Apache2", "net pause apache2 | 正在暂停服务:Apache2", "正在启动服务:Mysql", "net start mysql | 正在启动服务:Mysql"}};
        QTest::newRow("restart is a stop, then a start") << ApplyRow{Manager(), A::Restart, A::Restart, QByteArray(), QStringList{"正在重启服务:Apache2", "net stop apache2 | 正在重启服务:Apache2", "net start apache2 | 正在重启服务:Apache2", "正在重启服务:Mysql", "net stop mysql | 正在重启服务:Mysql", "net start mysql | 正在重启服务:Mysql"}};
#ifndef Q_OS_WIN // sh stand-ins
        using M = ServiceManager;
        // What a failed start adds to Apache's log: a blank line, more lines than a message takes, one longer than one.
        const QStringList failed{"", "AH00072: make_sock: could not bind to address 0.0.0.0:80", "AH00451: no listening sockets available", "AH00526: 语法错误", QString(250, 'x'), "AH00015: Unable to open logs", "one line too many"};
        const QByteArray logging = "[ \"$*\" = 'start apache2' ] && printf '" + failed.join("\\r\\n").toUtf8() + "\\r\\n' >>$d/log || echo $* >>$d/log; ";
        const QString logged = failed.mid(1, 3).join(' ') + ' ' + QString(200, 'x') + ' ' + failed[5];
        QTest::newRow("systemd: pause runs nothing, mysql stays mysql") << ApplyRow{Manager(M::Systemd), A::Pause, A::Restart, QByteArray(), QStringList{"net pause apache2 5", "systemctl stop mysql 0", "systemctl start mysql 0"}};
        QTest::newRow("sysv: restart, a mysql script stays mysql; started: no log") << ApplyRow{Manager(M::SysVinit), A::Restart, A::Start, "touch $d/mysql; " + logging, QStringList{"service apache2 stop 0", "service apache2 start 0", "service mysql start 0"}};
        QTest::newRow("sysv: failed. with exit 0, only mariadb's script; no log") << ApplyRow{Manager(M::SysVinit), A::Start, A::Stop, QByteArray("echo \"Starting $1\"; echo \"Action '$2' failed.\""), QStringList{"service apache2 start 2 Action 'start' failed.", "service mariadb stop 2 Action 'stop' failed."}};
        QTest::newRow("non-zero exit, the rest still run; log did not grow") << ApplyRow{Manager(M::Systemd), A::Restart, A::Start, QByteArray("[ \"$*\" = 'start apache2' ] || echo >>$d/log; exit 1"), QStringList{"systemctl stop apache2 2", "systemctl start apache2 2", "systemctl start mysql 2"}};
        QTest::newRow("failed start: the lines it logged") << ApplyRow{Manager(M::Systemd), A::Restart, A::Start, logging + "exit 1", QStringList{"systemctl stop apache2 2", "systemctl start apache2 2 " + logged, "systemctl start mysql 2"}};
        QTest::newRow("net: already started, not started") << ApplyRow{Manager(M::WindowsNet), A::Restart, A::Restart, QByteArray("case \"$*\" in 'stop apache2') n=2185;; *apache2) n=2182;; *) n=3521;; esac; echo NET HELPMSG $n; exit 2"), QStringList{"net stop apache2 2", "net start apache2 0", "net stop mysql 0", "net start mysql 2"}};
#endif
        // clang-format on
    }

    void apply()
    {
        QFETCH(ApplyRow, row);
        const auto& [manager, apache, mysql, body, records] = row;
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

    void serviceNames_data()
    {
        // clang-format off
        // installed: NAME=its binary path, in the service manager's order. names: Apache's, MySQL's, the note.
        QTest::addColumn<NamesRow>("row");
        QTest::newRow("folder typed in other case and separators; quoted, with arguments") << NamesRow{QStringList{"Apache2.4=\"C:\\Apache24\\bin\\httpd.exe\" -k runservice", "MySQL80=\"C:\\Program Files\\MySQL\\MySQL Server 8.0\\bin\\mysqld.exe\" --defaults-file=my.ini MySQL80"}, "c:/apache24//", QStringList{"Apache2.4", "MySQL80", ""}};
        QTest::newRow("unquoted path with blanks and arguments") << NamesRow{QStringList{"Apache=C:\\Program Files\\Apache24\\bin\\HTTPD.EXE -k runservice", "MariaDB=C:\\Program Files\\MariaDB 11.4\\bin\\mariadbd.exe MariaDB"}, "C:\\Program Files\\Apache24", QStringList{"Apache", "MariaDB", ""}};
        QTest::newRow("several MySQL: the first, said so") << NamesRow{QStringList{"MySQL57=D:\\mysql57\\bin\\mysqld.exe", "MariaDB=C:\\MariaDB\\bin\\mariadbd.exe"}, "C:\\Apache24", QStringList{"apache2", "MySQL57", "找到多个 MySQL 服务，使用了 MySQL57。"}};
        QTest::newRow("apache2 and mysql in any case stay") << NamesRow{QStringList{"Apache2.4=C:\\Apache24\\bin\\httpd.exe", "MySQL80=C:\\mysql\\bin\\mysqld.exe", "Apache2=C:\\old\\bin\\httpd.exe", "MYSQL=C:\\old\\bin\\mysqld.exe"}, "C:\\Apache24", QStringList{"apache2", "mysql", ""}};
        QTest::newRow("none matching: another folder, other programs") << NamesRow{QStringList{"Apache2.4=C:\\Apache24\\bin\\httpd.exe", "Apache=C:\\Apache2\\httpd.exe", "MySQLRouter=C:\\mysql\\bin\\mysqlrouter.exe", "backup=C:\\mysqld.exe\\copy.exe"}, "C:\\Apache2", QStringList{"apache2", "mysql", ""}};
        // clang-format on
    }

    void serviceNames()
    {
        QFETCH(NamesRow, row);
        const auto& [installed, apacheFolder, names] = row;
        std::vector<platform::InstalledService> services;
        for (const QString& service : installed)
            services.push_back({service.split('=')[0], platform::ServiceProgram(service.section('=', 1))});
        const ServiceNames found = FindServiceNames(services, apacheFolder);
        QCOMPARE((QStringList{found.apache, found.mysql, found.note}), names);
    }

    void windowsServices_data()
    {
        // clang-format off
        // services: NAME=its binary path, registered for real, %1 the scratch folder; the Apache folder
        // is %1/Apache24. records: each command as shown and its status. requests: what each program was asked.
        QTest::addColumn<QStringList>("services");
        QTest::addColumn<QStringList>("records");
        QTest::addColumn<QStringList>("requests");
        const QStringList installation{"Apache2.4=\"%1\\Apache24\\bin\\httpd.exe\" -k runservice", "MySQL80=%1\\mysql\\bin\\mysqld.exe --defaults-file=my.ini MySQL80"};
        QTest::newRow("found by program") << installation << QStringList{"net start Apache2.4 0", "net start MySQL80 0"} << QStringList{"Apache24/bin/httpd.exe start", "mysql/bin/mysqld.exe start"};
        QTest::newRow("apache2 and mysql present") << installation + QStringList{"apache2=%1\\other\\bin\\httpd.exe", "mysql=%1\\other\\bin\\mysqld.exe"} << QStringList{"net start apache2 0", "net start mysql 0"} << QStringList{"other/bin/httpd.exe start", "other/bin/mysqld.exe start"};
        QTest::newRow("none matching") << QStringList{"Apache2.4=%1\\other\\bin\\httpd.exe"} << QStringList{"net start apache2 2", "net start mysql 2"} << QStringList();
        // clang-format on
    }

    void windowsServices()
    {
#ifndef Q_OS_WIN
        QSKIP("Registers real services with the Windows service manager");
#else
        QFETCH(QStringList, services);
        QFETCH(QStringList, records);
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

        SystemCommandRunner runner(ServiceManager::WindowsNet, std::chrono::seconds(60));
        app::ApplyPassSeams seams; // the real service manager; Apache's test and the page left out
        seams.runner = &runner;
        seams.runProgram = [](const config::ApacheInvocation&) { return CommandOutcome(); };
        seams.requestPage = [](const QUrl&) { return PageAnswer{200, {}}; };
        const app::PassReport report =
            app::ApplyPass(seams).run({dir.filePath("www"), "index.php", dir.filePath("Apache24"), true,
                                       ServiceAction::Start, ServiceAction::Start});
        QStringList seen;
        for (const CommandRecord& r : report.commands)
            seen << r.commandLine + ' ' + QString::number(int(r.outcome.status));
        QCOMPARE(seen, records);
        const auto asked = [&] {
            QStringList lines;
            for (const QString& program : programs)
                if (QFile::exists(dir.filePath(program + ".log")))
                    lines << program + ' ' + QString(ReadAll(dir.filePath(program + ".log"))).simplified();
            return lines;
        };
        QTRY_COMPARE(asked(), requests);
#endif
    }

    void runProcess_data()
    {
        // clang-format off
        // script: for sh -c, %DIR% a scratch folder; one word is a program run as it is. status: timed out after 1 s,
        // else within 20 s. result: exit code, reason or first output line, whether the process in %DIR%/pid lives.
        QTest::addColumn<ProcessRow>("row");
        QTest::newRow("missing program") << ProcessRow{"brellimar-no-such-program", Status::FailedToStart, "0 execvp: No such file or directory"};
        QTest::newRow("file without execute bit") << ProcessRow{"brellimar-not-executable", Status::FailedToStart, "0 execvp: Permission denied"};
        QTest::newRow("non-zero exit") << ProcessRow{"echo; echo '  no such service ' >&2; exit 3", Status::Failed, "3 no such service"};
        QTest::newRow("killed by a signal") << ProcessRow{"kill -9 $$", Status::Crashed, "-1 Process crashed"};
        QTest::newRow("succeeds") << ProcessRow{"echo started", Status::Succeeded, "0 started"};
        // ulimit: a flood left behind by a test that was killed stops at 4 GB.
        QTest::newRow("endless output") << ProcessRow{"ulimit -f 8000000; echo $$ > '%DIR%/pid'; exec yes flood", Status::TimedOut, "-1 flood gone"};
        QTest::newRow("daemon writing to the output") << ProcessRow{"echo started; (while [ -d '%DIR%' ]; do echo tick; echo tick >> '%DIR%/ticks'; sleep 0.1; done) & echo $! > '%DIR%/pid'", Status::Succeeded, "0 started alive"};
        QTest::newRow("ends on SIGTERM at the bound") << ProcessRow{"echo $$ > '%DIR%/pid'; echo waiting; exec sleep 60", Status::TimedOut, "-1 waiting gone"};
        QTest::newRow("ignores SIGTERM past the bound") << ProcessRow{"trap 'echo term' TERM; echo $$ > '%DIR%/pid'; while [ -d '%DIR%' ]; do sleep 0.1; done", Status::TimedOut, "-1 term gone"};
        // clang-format on
    }

    void runProcess()
    {
#ifndef Q_OS_UNIX
        QSKIP("The rows run sh scripts and signal processes: POSIX only.");
#else
        QFETCH(ProcessRow, row);
        auto [script, status, result] = row;
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

    void lookups()
    {
        // Start wins over Stop, Stop over Pause; with none of them it is a restart.
        QCOMPARE(ActionFromButtons(true, true, true), ServiceAction::Start);
        QCOMPARE(ActionFromButtons(false, true, true), ServiceAction::Stop);
        QCOMPARE(ActionFromButtons(false, false, true), ServiceAction::Pause);
        QCOMPARE(ActionFromButtons(false, false, false), ServiceAction::Restart);
        QTemporaryDir dir;
        // clang-format off
#ifndef Q_OS_WIN
        QCOMPARE(DetectServiceManager(dir.path()), ServiceManager::Systemd);
        QCOMPARE(DetectServiceManager(dir.filePath("none")), ServiceManager::SysVinit);
#else
        QCOMPARE(DetectServiceManager(dir.path()), ServiceManager::WindowsNet); // net by its full path, never found by search
        QCOMPARE(MapCommand(Command(Service::Apache, Verb::Start), ServiceManager::WindowsNet)->program, qEnvironmentVariable("SystemRoot", "C:\\Windows") + "\\System32\\net.exe");
        if (::GetOEMCP() != 936)
            QSKIP("net's output below is in the Chinese OEM code page 936 (under Wine: LANG=zh_CN.UTF-8)");
        QCOMPARE(platform::DecodeConsoleOutput("NET HELPMSG 2182: \xc3\xfc\xc1\xee\xb3\xc9\xb9\xa6\xcd\xea\xb3\xc9\xa1\xa3\r\n\xce\xde\xb7\xa8\xbb\xf1\xc8\xa1\xb7\xfe\xce\xf1\xb5\xc4\xbe\xe4\xb1\xfa\xa1\xa3"), QStringLiteral("NET HELPMSG 2182: 命令成功完成。\r\n无法获取服务的句柄。"));
#endif
        // clang-format on
    }
};

QTEST_GUILESS_MAIN(TestServices)
#include "tst_services.moc"
