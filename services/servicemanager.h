// SPDX-License-Identifier: MIT
#pragma once

#include "commandrunner.h"

#include "platform/servicelist.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace services {

/** The system's service manager, which the service commands are mapped onto. */
enum class ServiceManager {
    WindowsNet, ///< the net command itself
    Systemd,    ///< systemctl start|stop NAME
    SysVinit,   ///< service NAME start|stop
};

/** The service manager of this system: net on Windows, else systemd when @p systemdRunDir exists. */
ServiceManager DetectServiceManager(const QString& systemdRunDir = QStringLiteral("/run/systemd/system"));

/** A program and its arguments. */
struct Invocation
{
    QString program;
    QStringList arguments;

    /** As a user would type it; an argument holding a blank is quoted. */
    QString commandLine() const;
};

/** How long a status query may take. */
inline constexpr std::chrono::milliseconds kStatusTimeout{std::chrono::seconds(10)};

/** How long a service still starting, stopping or pausing after net has ended is waited for. */
inline constexpr std::chrono::milliseconds kSettleTimeout{std::chrono::seconds(30)};

/** Where SysV init scripts live. */
inline const QString kInitScriptDir = QStringLiteral("/etc/init.d");

/**
 * What runs for @p command under @p manager; std::nullopt when the manager has no counterpart
 * (pausing a service on Linux). Without systemd, mysql becomes mariadb where @p initScriptDir has
 * only a mariadb script.
 */
std::optional<Invocation> MapCommand(const ServiceCommand& command, ServiceManager manager,
                                     const QString& initScriptDir = kInitScriptDir);

/** Judges a finished command beyond its exit code: an init script's "failed" line fails it, exit 0 or not. */
void RefineOutcome(ServiceManager manager, CommandOutcome& outcome);

/** Asks the service manager for a service's state. */
using StateQuery = std::function<platform::ServiceState(const QString& name)>;

/**
 * Runs service commands through this system's service manager. A net command is judged by the
 * state it leaves, as the service manager reports it, whatever net printed: a start that leaves
 * the service running succeeded (already in that state when it was running before), one that
 * does not failed; likewise a stop and a pause. A state still pending is asked again, for at most
 * kSettleTimeout. Where the state cannot be asked, net's exit code decides.
 */
class SystemCommandRunner : public CommandRunner
{
  public:
    explicit SystemCommandRunner(ServiceManager manager = DetectServiceManager(),
                                 std::chrono::milliseconds timeout = kDefaultCommandTimeout,
                                 QString initScriptDir = kInitScriptDir,
                                 StateQuery queryState = platform::QueryServiceState);
    CommandRecord run(const ServiceCommand& command) override;
    std::optional<bool> isRunning(const ServiceCommand& command) override;

  private:
    platform::ServiceState settledState(const QString& name);

    ServiceManager m_manager;
    std::chrono::milliseconds m_timeout;
    QString m_initScriptDir;
    StateQuery m_queryState;
};

} // namespace services
