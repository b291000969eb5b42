// SPDX-License-Identifier: MIT
#include "services/serviceactions.h"
#include "services/servicemanager.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <functional>
#include <map>

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

    void add(const char* name, const QByteArray& body = "exit 0")
    {
        const QString path = m_dir.filePath(QLatin1String(name));
        QFile script(path);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\necho \"$(basename \"$0\") $*\" >> '" + log().toLocal8Bit() + "'\n" + body +
                     "\n");
        script.close();
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

} // namespace

class TestServices : public QObject
{
    Q_OBJECT

  private slots:
    void sequencing_data();
    void sequencing();
    void actionIsReadWhenItsTurnComes();
    void realProcesses();
    void timedOutProcessIsGone();
    void linuxMapping_data();
    void linuxMapping();
    void detectsServiceManager();
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

void TestServices::realProcesses()
{
    const auto timeout = std::chrono::seconds(20);
    CommandOutcome missing = RunProcess(QStringLiteral("brellimar-no-such-program"), {}, timeout);
    QCOMPARE(missing.status, Status::FailedToStart);
    QVERIFY(!missing.reason.isEmpty());

    CommandOutcome failed = RunProcess(
        QStringLiteral("sh"),
        {QStringLiteral("-c"), QStringLiteral("echo; echo '  no such service ' >&2; exit 3")}, timeout);
    QCOMPARE(failed.status, Status::Failed);
    QCOMPARE(failed.exitCode, 3);
    QCOMPARE(failed.firstOutputLine(), QStringLiteral("no such service"));

    CommandOutcome killed =
        RunProcess(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("kill -9 $$")}, timeout);
    QCOMPARE(killed.status, Status::Crashed);

    CommandOutcome ok =
        RunProcess(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("echo started")}, timeout);
    QCOMPARE(ok.status, Status::Succeeded);
    QCOMPARE(ok.output, QStringLiteral("started\n"));
}

void TestServices::timedOutProcessIsGone()
{
    QTemporaryDir dir;
    const QString pidFile = dir.filePath(QStringLiteral("pid"));
    QElapsedTimer clock;
    clock.start();
    const CommandOutcome outcome =
        RunProcess(QStringLiteral("sh"),
                   {QStringLiteral("-c"), QStringLiteral("echo $$ > '%1'; exec sleep 60").arg(pidFile)},
                   std::chrono::milliseconds(300));
    QCOMPARE(outcome.status, Status::TimedOut);
    QVERIFY(clock.elapsed() < 30000);
    QFile file(pidFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const pid_t pid = pid_t(file.readAll().trimmed().toInt());
    QVERIFY(pid > 0);
    QCOMPARE(::kill(pid, 0), -1);
}

void TestServices::linuxMapping_data()
{
    // clang-format off
    QTest::addColumn<int>("manager");
    QTest::addColumn<QByteArray>("serviceBody");
    QTest::addColumn<QString>("apache"); // chosen buttons as in sequencing
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QStringList>("records"); // command line as run, then the status

    const int systemd = int(ServiceManager::Systemd);
    const int sysv = int(ServiceManager::SysVinit);
    QTest::newRow("systemd start") << systemd << QByteArray("exit 0") << "s"
        << QStringList{"systemctl start apache2", "systemctl start mysql"}
        << QStringList{"systemctl start apache2 0", "systemctl start mysql 0"};
    QTest::newRow("sysv restart is stop then start") << sysv << QByteArray("exit 0") << ""
        << QStringList{"service apache2 stop", "service apache2 start", "service mysql start"}
        << QStringList{"service apache2 stop 0", "service apache2 start 0", "service mysql start 0"};
    QTest::newRow("pause runs nothing") << systemd << QByteArray("exit 0") << "p"
        << QStringList{"systemctl start mysql"}
        << QStringList{"net pause apache2 5", "systemctl start mysql 0"};
    QTest::newRow("init script failure despite exit 0") << sysv << QByteArray("echo \"Action '$2' failed.\"; exit 0") << "s"
        << QStringList{"service apache2 start", "service mysql start"}
        << QStringList{"service apache2 start 2", "service mysql start 2"};
    QTest::newRow("non-zero exit") << sysv << QByteArray("echo 'mysql: unrecognized service' >&2; exit 1") << "t"
        << QStringList{"service apache2 stop", "service mysql start"}
        << QStringList{"service apache2 stop 2", "service mysql start 2"};
    // clang-format on
}

void TestServices::linuxMapping()
{
    QFETCH(int, manager);
    QFETCH(QByteArray, serviceBody);
    QFETCH(QString, apache);
    QFETCH(QStringList, calls);
    QFETCH(QStringList, records);

    StandIns standIns;
    standIns.add("systemctl", serviceBody);
    standIns.add("service", serviceBody);
    FakeControls controls;
    controls.choose(Service::Apache, apache);
    controls.choose(Service::MySql, QStringLiteral("s"));
    SystemCommandRunner runner(ServiceManager(manager), std::chrono::seconds(20));

    QStringList seen;
    for (const CommandRecord& record : ApplyServiceActions(controls, runner))
        seen << record.commandLine + QLatin1Char(' ') + QString::number(int(record.outcome.status));
    QCOMPARE(standIns.calls(), calls);
    QCOMPARE(seen, records);
}

void TestServices::detectsServiceManager()
{
    QTemporaryDir dir;
    QCOMPARE(DetectServiceManager(dir.path()), ServiceManager::Systemd);
    QCOMPARE(DetectServiceManager(dir.filePath(QStringLiteral("none"))), ServiceManager::SysVinit);
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
