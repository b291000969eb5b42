// SPDX-License-Identifier: MIT
#include "servicemanager.h"

#include "platform/system.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace services {

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

void RefineOutcome(const ServiceCommand& command, ServiceManager manager, CommandOutcome& outcome)
{
    if (manager == ServiceManager::WindowsNet && outcome.status == CommandOutcome::Status::Failed) {
        // 2182: the service has already been started; 3521: it is not started. The numbers are
        // printed whatever the language of the system.
        if ((command.verb == Verb::Start &&
             outcome.output.contains(QLatin1String("HELPMSG 2182"), Qt::CaseInsensitive)) ||
            (command.verb == Verb::Stop &&
             outcome.output.contains(QLatin1String("HELPMSG 3521"), Qt::CaseInsensitive)))
            outcome.status = CommandOutcome::Status::Succeeded;
    }
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
                                         QString initScriptDir)
    : m_manager(manager), m_timeout(timeout), m_initScriptDir(std::move(initScriptDir))
{
}

CommandRecord SystemCommandRunner::run(const ServiceCommand& command)
{
    const std::optional<Invocation> invocation = MapCommand(command, m_manager, m_initScriptDir);
    if (!invocation) {
        CommandOutcome outcome;
        outcome.status = CommandOutcome::Status::NotSupported;
        return {command, command.netCommandLine(), outcome};
    }
    CommandOutcome outcome = RunProcess(invocation->program, invocation->arguments, m_timeout);
    RefineOutcome(command, m_manager, outcome);
    // net's full path only keeps a planted net.exe out; the message shows the command as typed.
    return {command,
            m_manager == ServiceManager::WindowsNet ? command.netCommandLine() : invocation->commandLine(),
            outcome};
}

std::optional<bool> SystemCommandRunner::isRunning(const ServiceCommand& command)
{
    // net answers a start of a running service with 2182 instead (RefineOutcome).
    if (m_manager == ServiceManager::WindowsNet)
        return std::nullopt;
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
