// SPDX-License-Identifier: MIT
#pragma once

#include "commandrunner.h"
#include "servicenames.h"

#include <QString>
#include <QStringList>

#include <functional>

#include <vector>

namespace services {

/** The status text and commands of one action on one service. */
struct ServiceCommands
{
    QString statusText;
    std::vector<ServiceCommand> commands;
};

/** The command table: what each action on each service shows and runs. */
ServiceCommands CommandsFor(Service service, ServiceAction action);

/** Start wins over Stop, Stop over Pause; with none of the three chosen the action is Restart. */
ServiceAction ActionFromButtons(bool start, bool stop, bool pause);

/**
 * Runs @p apache's commands and then @p mysql's, on the services @p names gives, each service's
 * status text shown through @p setStatus once before its first command. Every command runs, also
 * after an earlier one failed. Returns what became of each command, in order; the status text is
 * left as the MySQL one.
 */
std::vector<CommandRecord> ApplyServiceActions(ServiceAction apache, ServiceAction mysql,
                                               const ServiceNames& names, CommandRunner& runner,
                                               const std::function<void(const QString&)>& setStatus);

} // namespace services
