// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <vector>

namespace platform {

/** A service the system's service manager knows, and the program it starts. */
struct InstalledService
{
    QString name;    ///< as registered (Apache2.4, MySQL80)
    QString program; ///< its binary path without the arguments
};

/** A service's state as the Windows service manager reports it (Stopped to Paused: its numbers 1 to 7). */
enum class ServiceState {
    Unknown = 0, ///< not installed, or the service manager could not be asked
    Stopped,
    StartPending,
    StopPending,
    Running,
    ContinuePending,
    PausePending,
    Paused,
};

/**
 * The state the Windows service manager reports for the service @p name. Elsewhere always Unknown:
 * systemd and the init scripts are asked through their own commands.
 */
ServiceState QueryServiceState(const QString& name);

/** The Win32 services of the Windows service manager, in its order; elsewhere none. */
std::vector<InstalledService> InstalledServices();

/**
 * The program of a service's binary path: a quoted path up to its closing quote, else up to the
 * first ".exe" that ends a word (Windows tries the blanks of an unquoted path one by one).
 */
QString ServiceProgram(const QString& binaryPath);

} // namespace platform
