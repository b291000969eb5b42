// SPDX-License-Identifier: MIT
#include "serviceactions.h"

namespace services {

QString ServiceCommand::verbWord() const
{
    switch (verb) {
    case Verb::Start:
        return QStringLiteral("start");
    case Verb::Stop:
        return QStringLiteral("stop");
    case Verb::Pause:
        return QStringLiteral("pause");
    }
    return {};
}

QString ServiceCommand::netCommandLine() const
{
    const QString shownName =
        name.contains(QLatin1Char(' ')) ? QLatin1Char('"') + name + QLatin1Char('"') : name;
    return QStringLiteral("net ") + verbWord() + QLatin1Char(' ') + shownName;
}

QString DefaultServiceName(Service service)
{
    switch (service) {
    case Service::Apache:
        return QStringLiteral("apache2");
    case Service::MySql:
        return QStringLiteral("mysql");
    case Service::PhpFpm:
        return QStringLiteral("php-fpm");
    }
    return {};
}

ServiceCommand Command(Service service, Verb verb)
{
    return {service, verb, DefaultServiceName(service)};
}

ServiceCommands CommandsFor(Service service, ServiceAction action)
{
    const QString displayName =
        service == Service::Apache ? QStringLiteral("Apache2") : QStringLiteral("Mysql");
    const ServiceCommand start = Command(service, Verb::Start);
    const ServiceCommand stop = Command(service, Verb::Stop);
    switch (action) {
    case ServiceAction::Start:
        return {QStringLiteral("正在启动服务:") + displayName, {start}};
    case ServiceAction::Stop:
        return {QStringLiteral("正在停止服务:") + displayName, {stop}};
    case ServiceAction::Pause:
        return {QStringLiteral("正在暂停服务:") + displayName, {Command(service, Verb::Pause)}};
    case ServiceAction::Restart:
        return {QStringLiteral("正在重启服务:") + displayName, {stop, start}};
    }
    return {};
}

ServiceAction ActionFromButtons(bool start, bool stop, bool pause)
{
    if (start)
        return ServiceAction::Start;
    if (stop)
        return ServiceAction::Stop;
    if (pause)
        return ServiceAction::Pause;
    return ServiceAction::Restart;
}

std::vector<CommandRecord> ApplyServiceActions(ServiceAction apache, ServiceAction mysql,
                                               const ServiceNames& names, CommandRunner& runner,
                                               const std::function<void(const QString&)>& setStatus)
{
    std::vector<CommandRecord> records;
    for (const auto& [service, action] :
         {std::pair{Service::Apache, apache}, std::pair{Service::MySql, mysql}}) {
        const ServiceCommands commands = CommandsFor(service, action);
        setStatus(commands.statusText);
        for (ServiceCommand command : commands.commands) {
            command.name = names.of(service);
            records.push_back(runner.run(command));
        }
    }
    return records;
}

} // namespace services
