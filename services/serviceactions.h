// SPDX-License-Identifier: MIT
#pragma once

#include "commandrunner.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace services {

enum class Service { Apache, MySql };

enum class ServiceAction { Start, Stop, Pause, Restart };

/** The status text and command lines of one action on one service. */
struct ServiceCommands
{
    QString statusText;
    QStringList commandLines;
};

/** The command table: what each action on each service shows and runs. */
ServiceCommands CommandsFor(Service service, ServiceAction action);

/** Start wins over Stop, Stop over Pause; with none of the three chosen the action is Restart. */
ServiceAction ActionFromButtons(bool start, bool stop, bool pause);

/** What the sequencing reads and writes on the window. */
class ServiceControls
{
  public:
    virtual ~ServiceControls() = default;
    /** Whether the button for @p action of @p service reads true (never asked for Restart). */
    virtual bool isChosen(Service service, ServiceAction action) const = 0;
    virtual void setStatusText(const QString& text) = 0;
};

/**
 * Runs the chosen action for Apache and then for MySQL, each service's action read when its turn
 * comes and its status text set once before its first command. Every command runs, also after an
 * earlier one failed. Returns what became of each command, in order; the status text is left as
 * the MySQL one.
 */
std::vector<CommandRecord> ApplyServiceActions(ServiceControls& controls, CommandRunner& runner);

} // namespace services
