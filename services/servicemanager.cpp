// SPDX-License-Identifier: MIT
#include "servicemanager.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace services {

ServiceManager DetectServiceManager(const QString& systemdRunDir)
{
#ifdef Q_OS_WIN
    Q_UNUSED(systemdRunDir);
    return ServiceManager::WindowsNet;
#else
    return QFileInfo(systemdRunDir).isDir() ? ServiceManager::Systemd : ServiceManager::SysVinit;
#endif
}

std::optional<Invocation> MapCommandLine(const QString& commandLine, ServiceManager manager)
{
    const QStringList words = commandLine.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.size() != 3 || words[0] != QLatin1String("net"))
        return std::nullopt;
    const QString& verb = words[1];
    const QString& service = words[2];
    switch (manager) {
    case ServiceManager::WindowsNet:
        return Invocation{words[0], {verb, service}};
    case ServiceManager::Systemd:
    case ServiceManager::SysVinit:
        // Linux service managers cannot pause a service.
        if (verb != QLatin1String("start") && verb != QLatin1String("stop"))
            return std::nullopt;
        if (manager == ServiceManager::Systemd)
            return Invocation{QStringLiteral("systemctl"), {verb, service}};
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

SystemCommandRunner::SystemCommandRunner(ServiceManager manager, std::chrono::milliseconds timeout)
    : m_manager(manager), m_timeout(timeout)
{
}

CommandRecord SystemCommandRunner::run(const QString& commandLine)
{
    const std::optional<Invocation> invocation = MapCommandLine(commandLine, m_manager);
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
