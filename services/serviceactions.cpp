// SPDX-License-Identifier: MIT
#include "serviceactions.h"

namespace services {

ServiceCommands CommandsFor(Service service, ServiceAction action)
{
    const bool apache = service == Service::Apache;
    const QString displayName = apache ? QStringLiteral("Apache2") : QStringLiteral("Mysql");
    const QString name = apache ? QStringLiteral("apache2") : QStringLiteral("mysql");
    const QString start = QStringLiteral("net start ") + name;
    const QString stop = QStringLiteral("net stop ") + name;
    switch (action) {
    case ServiceAction::Start:
        return {QStringLiteral("正在启动服务:") + displayName, {start}};
    case ServiceAction::Stop:
        return {QStringLiteral("正在停止服务:") + displayName, {stop}};
    case ServiceAction::Pause:
        return {QStringLiteral("正在暂停服务:") + displayName, {QStringLiteral("net pause ") + name}};
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

std::vector<CommandRecord> ApplyServiceActions(ServiceControls& controls, CommandRunner& runner)
{
    std::vector<CommandRecord> records;
    for (const Service service : {Service::Apache, Service::MySql}) {
        const ServiceAction action = ActionFromButtons(controls.isChosen(service, ServiceAction::Start),
                                                       controls.isChosen(service, ServiceAction::Stop),
                                                       controls.isChosen(service, ServiceAction::Pause));
        const ServiceCommands commands = CommandsFor(service, action);
        controls.setStatusText(commands.statusText);
        for (const QString& line : commands.commandLines)
            records.push_back(runner.run(line));
    }
    return records;
}

} // namespace services
