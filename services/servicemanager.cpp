// SPDX-License-Identifier: MIT
#include "servicemanager.h"

#include "platform/system.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimer>

namespace services {

using platform::ServiceState;

namespace {

// How often a pending state is asked again.
constexpr std::chrono::milliseconds kSettlePoll{250};

bool IsPending(ServiceState state)
{
    return state == ServiceState::StartPending || state == ServiceState::StopPending ||
           state == ServiceState::ContinuePending || state == ServiceState::PausePending;
}

QString StateText(ServiceState state)
{
    switch (state) {
    case ServiceState::Stopped:
        return QStringLiteral("已停止");
    case ServiceState::StartPending:
        return QStringLiteral("仍在启动");
    case ServiceState::StopPending:
        return QStringLiteral("仍在停止");
    case ServiceState::Running:
        return QStringLiteral("正在运行");
    case ServiceState::ContinuePending:
        return QStringLiteral("仍在继续");
    case ServiceState::PausePending:
        return QStringLiteral("仍在暂停");
    case ServiceState::Paused:
        return QStringLiteral("已暂停");
    case ServiceState::Unknown:
        break;
    }
    return {};
}

// net's own words differ between Windows (2182, 3521), its languages and Wine ("Service already
// running.", exit 1); the state the command leaves does not.
void JudgeByState(const ServiceCommand& command, ServiceState before, ServiceState after,
                  CommandOutcome& outcome)
{
    const bool ranToEnd = outcome.status == CommandOutcome::Status::Succeeded ||
                          outcome.status == CommandOutcome::Status::Failed;
    if (!ranToEnd || after == ServiceState::Unknown)
        return;
    const ServiceState wanted = command.verb == Verb::Start  ? ServiceState::Running
                                : command.verb == Verb::Stop ? ServiceState::Stopped
                                                             : ServiceState::Paused;
    if (after == wanted) {
        outcome.status = CommandOutcome::Status::Succeeded;
        outcome.alreadyInState = before == wanted;
        return;
    }
    outcome.status = CommandOutcome::Status::Failed;
    const QStringList lines = outcome.outputLines();
    outcome.reason = QStringLiteral("服务管理器报告服务%1").arg(StateText(after)) +
                     (lines.isEmpty() ? QString() : QStringLiteral("：") + lines.join(QLatin1Char(' ')));
}

} // namespace

ServiceManager DetectServiceManager(const QString& systemdRunDir)
{
    if (platform::UsesNetCommand())
        return ServiceManager::WindowsNet;
    return QFileInfo(systemdRunDir).isDir() ? ServiceManager::Systemd : ServiceManager::SysVinit;
}

QString Invocation::commandLine() const
{
    QStringList words{program};
    for (const QString& argument : arguments)
        words << (argument.contains(QLatin1Char(' ')) ? QLatin1Char('"') + argument + QLatin1Char('"')
                                                      : argument);
    return words.join(QLatin1Char(' '));
}

std::optional<Invocation> MapCommand(const ServiceCommand& command, ServiceManager manager,
                                     const QString& initScriptDir)
{
    const QString verb = command.verbWord();
    QString name = command.name;
    switch (manager) {
    case ServiceManager::WindowsNet:
        return Invocation{platform::NetProgram(), {verb, name}};
    case ServiceManager::Systemd:
    case ServiceManager::SysVinit:
        // Linux service managers cannot pause a service.
        if (command.verb == Verb::Pause)
            return std::nullopt;
        if (manager == ServiceManager::Systemd)
            return Invocation{QStringLiteral("systemctl"), {verb, name}};
        // Debian installs MariaDB's init script as mariadb only; systemd knows mysql as an alias.
        if (name == QLatin1String("mysql")) {
            const QDir scripts(initScriptDir);
            if (!QFileInfo::exists(scripts.filePath(name)) &&
                QFileInfo::exists(scripts.filePath(QStringLiteral("mariadb"))))
                name = QStringLiteral("mariadb");
        }
        return Invocation{QStringLiteral("service"), {name, verb}};
    }
    return std::nullopt;
}

void RefineOutcome(ServiceManager manager, CommandOutcome& outcome)
{
    if (manager == ServiceManager::SysVinit && outcome.status == CommandOutcome::Status::Succeeded) {
        // Debian's init scripts may print "Action 'start' failed." and still exit with 0.
        static const QRegularExpression failedLine(QStringLiteral("\\bfailed[.!]?\\s*$"),
                                                   QRegularExpression::CaseInsensitiveOption |
                                                       QRegularExpression::MultilineOption);
        const QRegularExpressionMatch match = failedLine.match(outcome.output);
        if (match.hasMatch()) {
            outcome.status = CommandOutcome::Status::Failed;
            const qsizetype lineStart =
                outcome.output.lastIndexOf(QLatin1Char('\n'), match.capturedStart()) + 1;
            outcome.reason = outcome.output.mid(lineStart, match.capturedEnd() - lineStart).trimmed();
        }
    }
}

SystemCommandRunner::SystemCommandRunner(ServiceManager manager, std::chrono::milliseconds timeout,
                                         QString initScriptDir, StateQuery queryState)
    : m_manager(manager), m_timeout(timeout), m_initScriptDir(std::move(initScriptDir)),
      m_queryState(std::move(queryState))
{
}

ServiceState SystemCommandRunner::settledState(const QString& name)
{
    const QDeadlineTimer deadline(kSettleTimeout);
    ServiceState state = m_queryState(name);
    while (IsPending(state) && !deadline.hasExpired()) {
        // The window goes on painting meanwhile, as while a command runs.
        QEventLoop wait;
        QTimer::singleShot(kSettlePoll, &wait, &QEventLoop::quit);
        wait.exec();
        state = m_queryState(name);
    }
    return state;
}

CommandRecord SystemCommandRunner::run(const ServiceCommand& command)
{
    const std::optional<Invocation> invocation = MapCommand(command, m_manager, m_initScriptDir);
    if (!invocation) {
        CommandOutcome outcome;
        outcome.status = CommandOutcome::Status::NotSupported;
        return {command, command.netCommandLine(), outcome};
    }
    const bool net = m_manager == ServiceManager::WindowsNet;
    const ServiceState before = net ? m_queryState(command.name) : ServiceState::Unknown;
    CommandOutcome outcome = RunProcess(invocation->program, invocation->arguments, m_timeout);
    if (net)
        JudgeByState(command, before, settledState(command.name), outcome);
    else
        RefineOutcome(m_manager, outcome);
    // net's full path only keeps a planted net.exe out; the message shows the command as typed.
    return {command, net ? command.netCommandLine() : invocation->commandLine(), outcome};
}

std::optional<bool> SystemCommandRunner::isRunning(const ServiceCommand& command)
{
    if (m_manager == ServiceManager::WindowsNet) {
        // A paused service runs too, on the configuration it read when it started.
        switch (m_queryState(command.name)) {
        case ServiceState::Stopped:
            return false;
        case ServiceState::Running:
        case ServiceState::Paused:
        case ServiceState::PausePending:
        case ServiceState::ContinuePending:
            return true;
        default:
            return std::nullopt;
        }
    }
    std::optional<Invocation> query = MapCommand(command, m_manager, m_initScriptDir);
    if (!query)
        return std::nullopt;
    if (m_manager == ServiceManager::Systemd)
        query->arguments = QStringList{QStringLiteral("is-active"), QStringLiteral("--quiet"), command.name};
    else
        query->arguments.last() = QStringLiteral("status");
    const CommandOutcome outcome = RunProcess(query->program, query->arguments, kStatusTimeout);
    // LSB: 0 running, 1 to 3 not running (dead with a pid file, dead with a lock, stopped).
    if (outcome.status == CommandOutcome::Status::Succeeded)
        return true;
    if (outcome.status == CommandOutcome::Status::Failed && outcome.exitCode >= 1 && outcome.exitCode <= 3)
        return false;
    return std::nullopt;
}

} // namespace services
