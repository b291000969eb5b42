// SPDX-License-Identifier: MIT
#include "config/errorlog.h"
#include "services/apachelog.h"
#include "services/serviceactions.h"
#include "services/servicemanager.h"
#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <map>

#ifdef Q_OS_UNIX
#include <signal.h>
#include <unistd.h>
#endif

using namespace services;
using Status = CommandOutcome::Status;

namespace {

// The window as the sequencing sees it: three buttons per service and the status line.
struct FakeControls : ServiceControls
{
    std::map<std::pair<Service, ServiceAction>, bool> chosen;
    QString status;
    QStringList statusHistory;

    // Sets the buttons of a service from letters: s(tart), t (stop), p(ause); none means restart.
    void choose(Service service, const QString& letters)
    {
        chosen[{service, ServiceAction::Start}] = letters.contains(QLatin1Char('s'));
        chosen[{service, ServiceAction::Stop}] = letters.contains(QLatin1Char('t'));
        chosen[{service, ServiceAction::Pause}] = letters.contains(QLatin1Char('p'));
    }
    bool isChosen(Service service, ServiceAction action) const override
    {
        const auto it = chosen.find({service, action});
        return it != chosen.end() && it->second;
    }
    void setStatusText(const QString& text) override
    {
        status = text;
        statusHistory << text;
    }
};

// Records each command with the status text showing while it ran.
struct FakeRunner : CommandRunner
{
    FakeControls* controls = nullptr;
    QStringList failToStart;
    QStringList fail; // these end with exit code 1
    QStringList ran;
    std::function<void(const QString&)> during;

    CommandRecord run(const QString& line) override
    {
        ran << line + QStringLiteral(" | ") + controls->status;
        if (during)
            during(line);
        CommandOutcome outcome;
        if (failToStart.contains(line)) {
            outcome.status = Status::FailedToStart;
            outcome.reason = QStringLiteral("execvp: No such file or directory");
        } else if (fail.contains(line)) {
            outcome.status = Status::Failed;
            outcome.exitCode = 1;
        }
        return {line, outcome};
    }
};

// Stand-ins for systemctl and service that log their arguments, in a folder put first on PATH.
class StandIns
{
  public:
    StandIns()
    {
        m_oldPath = qgetenv("PATH");
        qputenv("PATH", m_dir.path().toLocal8Bit() + ':' + m_oldPath);
    }
    ~StandIns() { qputenv("PATH", m_oldPath); }

    void add(const char* name, const QByteArray& body = "exit 0", bool executable = true)
    {
        const QString path = m_dir.filePath(QLatin1String(name));
        QFile script(path);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\necho \"$(basename \"$0\") $*\" >> '" + log().toLocal8Bit() + "'\n" + body +
                     "\n");
        script.close();
        if (executable)
            QVERIFY(script.setPermissions(script.permissions() | QFile::ExeOwner));
    }
    QString log() const { return m_dir.filePath(QStringLiteral("calls.log")); }
    QStringList calls() const
    {
        QFile file(log());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

  private:
    QTemporaryDir m_dir;
    QByteArray m_oldPath;
};

#ifdef Q_OS_UNIX
// The peak resident memory of this process so far, in KiB (Linux), or 0.
qint64 PeakMemoryKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return 0;
}
#endif

// What a start of Apache that failed adds to its log: more lines than a message takes, one of
// them longer than one.
const QStringList kFailedStartLog{
    QStringLiteral(
        "[core:error] (98)Address already in use: AH00072: make_sock: could not bind to address 0.0.0.0:80"),
    QStringLiteral("[core:alert] no listening sockets available, shutting down"),
    QStringLiteral("[core:error] AH00526: 语法错误"),
    QString(250, QLatin1Char('x')),
    QStringLiteral("AH00015: Unable to open logs"),
    QStringLiteral("[core:notice] one line too many")};

bool Append(const QString& path, const QString& text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::Append) &&
           file.write(QStringEncoder(QStringConverter::System).encode(text)) >= 0;
}

} // namespace

class TestServices : public QObject
{
    Q_OBJECT

  private slots:
    void sequencing_data();
    void sequencing();
    void actionIsReadWhenItsTurnComes();
    void realProcesses_data();
    void realProcesses();
    void linuxMapping_data();
    void linuxMapping();
    void detectsServiceManager();
    void apacheErrorLogOnFailedStart_data();
    void apacheErrorLogOnFailedStart();
    void windowsAlreadyInStateCountsAsSuccess_data();
    void windowsAlreadyInStateCountsAsSuccess();
};

void TestServices::sequencing_data()
{
    // clang-format off
    QTest::addColumn<QString>("apache"); // chosen buttons: letters s(tart), t (stop), p(ause)
    QTest::addColumn<QString>("mysql");
    QTest::addColumn<QStringList>("failToStart");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("failures");

    QTest::newRow("start, start") << "s" << "s" << QStringList()
        << QStringList{"net start apache2 | 正在启动服务:Apache2", "net start mysql | 正在启动服务:Mysql"} << 0;
    QTest::newRow("none chosen is restart") << "" << "" << QStringList()
        << QStringList{"net stop apache2 | 正在重启服务:Apache2", "net start apache2 | 正在重启服务:Apache2",
                       "net stop mysql | 正在重启服务:Mysql", "net start mysql | 正在重启服务:Mysql"} << 0;
    QTest::newRow("start wins over stop, stop over pause") << "stp" << "tp" << QStringList()
        << QStringList{"net start apache2 | 正在启动服务:Apache2", "net stop mysql | 正在停止服务:Mysql"} << 0;
    QTest::newRow("pause") << "p" << "p" << QStringList()
        << QStringList{"net pause apache2 | 正在暂停服务:Apache2", "net pause mysql | 正在暂停服务:Mysql"} << 0;
    QTest::newRow("failed first command, the rest still run") << "" << "t"
        << QStringList{"net stop apache2", "net stop mysql"}
        << QStringList{"net stop apache2 | 正在重启服务:Apache2", "net start apache2 | 正在重启服务:Apache2",
                       "net stop mysql | 正在停止服务:Mysql"} << 2;
    // clang-format on
}

void TestServices::sequencing()
{
    QFETCH(QString, apache);
    QFETCH(QString, mysql);
    QFETCH(QStringList, failToStart);
    QFETCH(QStringList, expected);
    QFETCH(int, failures);

    FakeControls controls;
    for (const auto& [service, letters] :
         {std::pair{Service::Apache, apache}, std::pair{Service::MySql, mysql}}) {
        controls.choose(service, letters);
    }
    FakeRunner runner;
    runner.controls = &controls;
    runner.failToStart = failToStart;

    const std::vector<CommandRecord> records = ApplyServiceActions(controls, runner);

    QCOMPARE(runner.ran, expected);
    QCOMPARE(int(records.size()), expected.size());
    QCOMPARE(int(std::count_if(records.begin(), records.end(),
                               [](const CommandRecord& r) { return !r.outcome.succeeded(); })),
             failures);
    // Set once per service, and the MySQL text is left in place.
    QCOMPARE(controls.statusHistory.size(), 2);
    QCOMPARE(controls.status, controls.statusHistory.last());
}

void TestServices::actionIsReadWhenItsTurnComes()
{
    FakeControls controls;
    controls.chosen[{Service::Apache, ServiceAction::Start}] = true;
    controls.chosen[{Service::MySql, ServiceAction::Start}] = true;
    FakeRunner runner;
    runner.controls = &controls;
    runner.during = [&](const QString&) { controls.chosen[{Service::MySql, ServiceAction::Start}] = false; };
    ApplyServiceActions(controls, runner);
    QCOMPARE(runner.ran.size(), 3); // MySQL became a restart while Apache's command ran
}

void TestServices::realProcesses_data()
{
    // clang-format off
    QTest::addColumn<QString>("program"); // with the script as sh -c argument; %DIR% is a scratch folder
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<Status>("status");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("text"); // the reason, else the first output line
    QTest::addColumn<QString>("after"); // gone: %DIR%/pid has ended; term: and got SIGTERM first; alive: still writing

    QTest::newRow("missing program") << "brellimar-no-such-program" << "" << 20000
        << Status::FailedToStart << 0 << "execvp: No such file or directory" << "";
    QTest::newRow("file without execute bit") << "brellimar-not-executable" << "" << 20000
        << Status::FailedToStart << 0 << "execvp: Permission denied" << "";
    QTest::newRow("non-zero exit") << "sh" << "echo; echo '  no such service ' >&2; exit 3" << 20000
        << Status::Failed << 3 << "no such service" << "";
    QTest::newRow("killed by a signal") << "sh" << "kill -9 $$" << 20000 << Status::Crashed << -1 << "Process crashed" << "";
    QTest::newRow("succeeds") << "sh" << "echo started" << 20000 << Status::Succeeded << 0 << "started" << "";
    QTest::newRow("endless output") << "sh" << "echo $$ > '%DIR%/pid'; exec yes flood" << 1000
        << Status::TimedOut << -1 << "flood" << "gone";
    QTest::newRow("daemon writing to the output") << "sh"
        << "echo started; (while :; do echo tick; echo tick >> '%DIR%/ticks'; sleep 0.1; done) & echo $! > '%DIR%/pid'"
        << 20000 << Status::Succeeded << 0 << "started" << "alive";
    QTest::newRow("ends on SIGTERM at the bound") << "sh" << "echo $$ > '%DIR%/pid'; exec sleep 60" << 300
        << Status::TimedOut << -1 << "" << "gone";
    QTest::newRow("ignores SIGTERM past the bound") << "sh"
        << "trap 'echo term > \"%DIR%/term\"' TERM; echo $$ > '%DIR%/pid'; while :; do sleep 0.1; done" << 300
        << Status::TimedOut << -1 << "" << "term";
    // clang-format on
}

void TestServices::realProcesses()
{
#ifndef Q_OS_UNIX
    QSKIP("The rows run sh scripts and signal processes: POSIX only.");
#else
    QFETCH(QString, program);
    QFETCH(QString, script);
    QFETCH(int, timeoutMs);
    QFETCH(Status, status);
    QFETCH(int, exitCode);
    QFETCH(QString, text);
    QFETCH(QString, after);

    StandIns standIns;
    standIns.add("brellimar-not-executable", "exit 0", false);
    QTemporaryDir dir;
    const QStringList arguments{QStringLiteral("-c"), script.replace(QLatin1String("%DIR%"), dir.path())};
    const qint64 peakBefore = PeakMemoryKiB();

    const CommandOutcome outcome = RunProcess(program, script.isEmpty() ? QStringList() : arguments,
                                              std::chrono::milliseconds(timeoutMs));

    const pid_t pid = pid_t(testutil::ReadAll(dir.filePath(QStringLiteral("pid"))).trimmed().toInt());
    const auto stopDaemon = qScopeGuard([pid] {
        if (pid > 0)
            ::kill(pid, SIGKILL);
    });
    QCOMPARE(outcome.status, status);
    QCOMPARE(outcome.exitCode, exitCode);
    QCOMPARE(outcome.reason.isEmpty() ? outcome.firstOutputLine() : outcome.reason, text);
    QVERIFY(!outcome.stillRunning);
    // Output is not held in memory, however much of it there is.
    QVERIFY2(PeakMemoryKiB() - peakBefore < 32 * 1024,
             qPrintable(QStringLiteral("peak memory grew by %1 KiB").arg(PeakMemoryKiB() - peakBefore)));
    if (after.isEmpty())
        return;
    QVERIFY(pid > 0);
    if (after == QLatin1String("alive")) {
        // The daemon outlives the command and goes on writing to the output it inherited.
        const QString ticks = dir.filePath(QStringLiteral("ticks"));
        const qint64 ticksAtEnd = QFileInfo(ticks).size();
        QTRY_VERIFY(QFileInfo(ticks).size() > ticksAtEnd + 10);
        QCOMPARE(::kill(pid, 0), 0);
        return;
    }
    QCOMPARE(::kill(pid, 0), -1);
    QCOMPARE(QFileInfo::exists(dir.filePath(QStringLiteral("term"))), after == QLatin1String("term"));
#endif
}

void TestServices::linuxMapping_data()
{
    // clang-format off
    QTest::addColumn<int>("manager");
    QTest::addColumn<QByteArray>("serviceBody");
    QTest::addColumn<QString>("apache"); // chosen buttons as in sequencing
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QStringList>("records"); // command line as run, the status, the reason
    QTest::addColumn<QStringList>("initScripts"); // what the init script folder holds

    const int systemd = int(ServiceManager::Systemd);
    const int sysv = int(ServiceManager::SysVinit);
    QTest::newRow("systemd start") << systemd << QByteArray("exit 0") << "s"
        << QStringList{"systemctl start apache2", "systemctl start mysql"}
        << QStringList{"systemctl start apache2 0", "systemctl start mysql 0"} << QStringList();
    QTest::newRow("sysv restart is stop then start") << sysv << QByteArray("exit 0") << ""
        << QStringList{"service apache2 stop", "service apache2 start", "service mysql start"}
        << QStringList{"service apache2 stop 0", "service apache2 start 0", "service mysql start 0"} << QStringList();
    QTest::newRow("pause runs nothing") << systemd << QByteArray("exit 0") << "p"
        << QStringList{"systemctl start mysql"}
        << QStringList{"net pause apache2 5", "systemctl start mysql 0"} << QStringList();
    QTest::newRow("init script failure despite exit 0") << sysv << QByteArray("echo \"Starting $1\"; echo \"Action '$2' failed.\"; exit 0") << "s"
        << QStringList{"service apache2 start", "service mysql start"}
        << QStringList{"service apache2 start 2 Action 'start' failed.", "service mysql start 2 Action 'start' failed."} << QStringList();
    QTest::newRow("non-zero exit") << sysv << QByteArray("echo 'mysql: unrecognized service' >&2; exit 1") << "t"
        << QStringList{"service apache2 stop", "service mysql start"}
        << QStringList{"service apache2 stop 2", "service mysql start 2"} << QStringList();
    QTest::newRow("sysv: mysql is the mariadb script where only that exists") << sysv << QByteArray("exit 0") << "s"
        << QStringList{"service apache2 start", "service mariadb start"}
        << QStringList{"service apache2 start 0", "service mariadb start 0"} << QStringList{"mariadb"};
    QTest::newRow("sysv: a mysql script stays mysql") << sysv << QByteArray("exit 0") << "s"
        << QStringList{"service apache2 start", "service mysql start"}
        << QStringList{"service apache2 start 0", "service mysql start 0"} << QStringList{"mysql", "mariadb"};
    QTest::newRow("systemd: mysql stays an alias") << systemd << QByteArray("exit 0") << "s"
        << QStringList{"systemctl start apache2", "systemctl start mysql"}
        << QStringList{"systemctl start apache2 0", "systemctl start mysql 0"} << QStringList{"mariadb"};
    // clang-format on
}

void TestServices::linuxMapping()
{
#ifndef Q_OS_UNIX
    QSKIP("Linux service managers, driven through sh stand-ins.");
#else
    QFETCH(int, manager);
    QFETCH(QByteArray, serviceBody);
    QFETCH(QString, apache);
    QFETCH(QStringList, calls);
    QFETCH(QStringList, records);
    QFETCH(QStringList, initScripts);

    QTemporaryDir initDir;
    for (const QString& name : initScripts)
        QVERIFY(testutil::WriteAll(initDir.filePath(name), "#!/bin/sh\n"));
    StandIns standIns;
    standIns.add("systemctl", serviceBody);
    standIns.add("service", serviceBody);
    FakeControls controls;
    controls.choose(Service::Apache, apache);
    controls.choose(Service::MySql, QStringLiteral("s"));
    SystemCommandRunner runner(ServiceManager(manager), std::chrono::seconds(20), initDir.path());

    QStringList seen;
    for (const CommandRecord& record : ApplyServiceActions(controls, runner))
        seen << (record.commandLine + QLatin1Char(' ') + QString::number(int(record.outcome.status)) +
                 QLatin1Char(' ') + record.outcome.reason)
                    .trimmed();
    QCOMPARE(standIns.calls(), calls);
    QCOMPARE(seen, records);
#endif
}

void TestServices::detectsServiceManager()
{
    QTemporaryDir dir;
#ifdef Q_OS_WIN
    QCOMPARE(DetectServiceManager(dir.path()), ServiceManager::WindowsNet);
    // net by its full path, never found by search.
    const QString root = qEnvironmentVariable("SystemRoot", QStringLiteral("C:\\Windows"));
    QCOMPARE(MapCommandLine(QStringLiteral("net start apache2"), ServiceManager::WindowsNet)->program,
             root + QStringLiteral("\\System32\\net.exe"));
#else
    QCOMPARE(DetectServiceManager(dir.path()), ServiceManager::Systemd);
    QCOMPARE(DetectServiceManager(dir.filePath(QStringLiteral("none"))), ServiceManager::SysVinit);
#endif
}

void TestServices::apacheErrorLogOnFailedStart_data()
{
    // clang-format off
    QTest::addColumn<QString>("conf"); // httpd.conf, %1 the Apache folder
    QTest::addColumn<QString>("existing"); // a log that holds an old line before the pass
    QTest::addColumn<QString>("appendTo"); // where the stop and the start write their lines
    QTest::addColumn<bool>("startFails");
    QTest::addColumn<QStringList>("expected");

    QStringList reason = kFailedStartLog.mid(0, 5);
    reason[3].truncate(200);
    const QString mainLog = "ServerRoot \"%1\"\nErrorLog \"logs/apache-error.log\"\n";
    QTest::newRow("failed start, log grew") << mainLog << "logs/apache-error.log" << "logs/apache-error.log"
        << true << reason;
    QTest::newRow("failed start, log did not grow") << mainLog << "logs/apache-error.log" << "" << true << QStringList();
    QTest::newRow("start succeeded") << mainLog << "logs/apache-error.log" << "logs/apache-error.log" << false
        << QStringList();
    QTest::newRow("missing log") << mainLog << "" << "" << true << QStringList();
    QTest::newRow("relative ErrorLog, ServerRoot ${SRVROOT}")
        << "Define SRVROOT \"%1/Apache24\"\nServerRoot \"${SRVROOT}\"\nErrorLog \"logs/error.log\"\n"
        << "" << "Apache24/logs/error.log" << true << reason;
    QTest::newRow("piped ErrorLog skipped") << "ErrorLog \"|/usr/bin/rotatelogs logs/error.log 86400\"\n"
        << "logs/error.log" << "logs/error.log" << true << QStringList();
    QTest::newRow("no ErrorLog: logs/error_log") << "Listen 80\n" << "" << "logs/error_log" << true << reason;
    QTest::newRow("a virtual host's ErrorLog is not the main log")
        << "ErrorLog logs/main.log\n<VirtualHost *:80>\n    ErrorLog logs/site.log\n</VirtualHost>\n"
        << "" << "logs/main.log" << true << reason;
    // clang-format on
}

void TestServices::apacheErrorLogOnFailedStart()
{
    QFETCH(QString, conf);
    QFETCH(QString, existing);
    QFETCH(QString, appendTo);
    QFETCH(bool, startFails);
    QFETCH(QStringList, expected);

    QTemporaryDir apacheDir;
    const QDir apache(apacheDir.path());
    const QString httpdConf = apache.filePath(QStringLiteral("conf/httpd.conf"));
    QVERIFY(apache.mkpath(QStringLiteral("conf")));
    QVERIFY(testutil::WriteAll(httpdConf, conf.replace(QLatin1String("%1"), apache.path())
                                              .replace(QLatin1String("\n"), QLatin1String("\r\n"))
                                              .toUtf8()));
    if (!existing.isEmpty())
        QVERIFY(Append(apache.filePath(existing), QStringLiteral("[core:notice] AH00094: old line\r\n")));

    // Apache as the service manager runs it: a stop that logs its end, then a start that logs why
    // it failed.
    FakeControls controls;
    controls.choose(Service::Apache, QString()); // restart
    controls.choose(Service::MySql, QStringLiteral("s"));
    FakeRunner fake;
    fake.controls = &controls;
    if (startFails)
        fake.fail = QStringList{QStringLiteral("net start apache2")};
    fake.during = [&](const QString& line) {
        if (appendTo.isEmpty())
            return;
        if (line == QLatin1String("net stop apache2"))
            QVERIFY(Append(apache.filePath(appendTo),
                           QStringLiteral("[mpm_prefork:notice] AH00169: caught SIGTERM\r\n")));
        if (line == QLatin1String("net start apache2"))
            QVERIFY(Append(apache.filePath(appendTo), QStringLiteral("\r\n") +
                                                          kFailedStartLog.join(QLatin1String("\r\n")) +
                                                          QStringLiteral("\r\n")));
    };
    ApacheLogRunner runner(fake, config::ApacheErrorLogFiles(apache.path(), httpdConf));

    const std::vector<CommandRecord> records = ApplyServiceActions(controls, runner);
    QCOMPARE(int(records.size()), 3);
    QCOMPARE(records[1].commandLine, QStringLiteral("net start apache2"));
    QCOMPARE(records[1].outcome.logLines, expected);
    QVERIFY(records[0].outcome.logLines.isEmpty());
    QVERIFY(records[2].outcome.logLines.isEmpty());
}

void TestServices::windowsAlreadyInStateCountsAsSuccess_data()
{
    // clang-format off
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("output");
    QTest::addColumn<bool>("succeeded");
    QTest::newRow("already started") << "net start apache2" << "请键入 NET HELPMSG 2182 以获得更多的帮助。" << true;
    QTest::newRow("not started, on stop") << "net stop mysql" << "More help is available by typing NET HELPMSG 3521." << true;
    QTest::newRow("not started, on start") << "net start mysql" << "NET HELPMSG 3521" << false;
    QTest::newRow("no such service") << "net start apache2" << "NET HELPMSG 2185" << false;
    // clang-format on
}

void TestServices::windowsAlreadyInStateCountsAsSuccess()
{
    QFETCH(QString, line);
    QFETCH(QString, output);
    QFETCH(bool, succeeded);
    CommandOutcome outcome;
    outcome.status = Status::Failed;
    outcome.exitCode = 2;
    outcome.output = output;
    RefineOutcome(line, ServiceManager::WindowsNet, outcome);
    QCOMPARE(outcome.succeeded(), succeeded);
}

QTEST_GUILESS_MAIN(TestServices)
#include "tst_services.moc"
