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

std::optional<Invocation> MapCommandLine(const QString& commandLine, ServiceManager manager,
                                         const QString& initScriptDir)
{
    const QStringList words = commandLine.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.size() != 3 || words[0] != QLatin1String("net"))
        return std::nullopt;
    const QString& verb = words[1];
    QString service = words[2];
    switch (manager) {
    case ServiceManager::WindowsNet:
        return Invocation{platform::NetProgram(), {verb, service}};
    case ServiceManager::Systemd:
    case ServiceManager::SysVinit:
        // Linux service managers cannot pause a service.
        if (verb != QLatin1String("start") && verb != QLatin1String("stop"))
            return std::nullopt;
        if (manager == ServiceManager::Systemd)
            return Invocation{QStringLiteral("systemctl"), {verb, service}};
        // Debian installs MariaDB's init script as mariadb only; systemd knows mysql as an alias.
        if (service == QLatin1String("mysql")) {
            const QDir scripts(initScriptDir);
            if (!QFileInfo::exists(scripts.filePath(service)) &&
                QFileInfo::exists(scripts.filePath(QStringLiteral("mariadb"))))
                service = QStringLiteral("mariadb");
        }
        return Invocation{QStringLiteral("service"), {service, verb}};
    }
    return std::nullopt;
}

void RefineOutcome(const QString& commandLine, ServiceManager manager, CommandOutcome& outcome)
{
    if (manager == ServiceManager::WindowsNet && outcome.status == CommandOutcome::Status::Failed) {
        // 2182: the service has already been started; 3521: it is not started. The numbers are
        // printed whatever the language of the system.
        const bool start = commandLine.startsWith(QLatin1String("net start "));
        const bool stop = commandLine.startsWith(QLatin1String("net stop "));
        if ((start && outcome.output.contains(QLatin1String("HELPMSG 2182"), Qt::CaseInsensitive)) ||
            (stop && outcome.output.contains(QLatin1String("HELPMSG 3521"), Qt::CaseInsensitive)))
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

CommandRecord SystemCommandRunner::run(const QString& commandLine)
{
    const std::optional<Invocation> invocation = MapCommandLine(commandLine, m_manager, m_initScriptDir);
    if (!invocation) {
        CommandOutcome outcome;
        outcome.status = CommandOutcome::Status::NotSupported;
        return {commandLine, outcome};
    }
    CommandOutcome outcome = RunProcess(invocation->program, invocation->arguments, m_timeout);
    RefineOutcome(commandLine, m_manager, outcome);
    return {invocation->commandLine(), outcome};
}

} // namespace services
