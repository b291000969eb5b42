// SPDX-License-Identifier: MIT
#pragma once

#include "commandrunner.h"

#include <QString>
#include <QStringList>

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

/** Where SysV init scripts live. */
inline const QString kInitScriptDir = QStringLiteral("/etc/init.d");

/**
 * What runs for @p command under @p manager; std::nullopt when the manager has no counterpart
 * (pausing a service on Linux). Without systemd, mysql becomes mariadb where @p initScriptDir has
 * only a mariadb script.
 */
std::optional<Invocation> MapCommand(const ServiceCommand& command, ServiceManager manager,
                                     const QString& initScriptDir = kInitScriptDir);

/**
 * Judges a finished command beyond its exit code: net's "already started / not started" answers
 * count as success, and a SysV init script's "failed" line as failure even with exit code 0.
 */
void RefineOutcome(const ServiceCommand& command, ServiceManager manager, CommandOutcome& outcome);

/** Runs service commands through this system's service manager. */
class SystemCommandRunner : public CommandRunner
{
  public:
    explicit SystemCommandRunner(ServiceManager manager = DetectServiceManager(),
                                 std::chrono::milliseconds timeout = kDefaultCommandTimeout,
                                 QString initScriptDir = kInitScriptDir);
    CommandRecord run(const ServiceCommand& command) override;
    std::optional<bool> isRunning(const ServiceCommand& command) override;

  private:
    ServiceManager m_manager;
    std::chrono::milliseconds m_timeout;
    QString m_initScriptDir;
};

} // namespace services
