// SPDX-License-Identifier: MIT
#include "servicelist.h"

#include "win/native_win.h"

namespace platform {

std::vector<InstalledService> InstalledServices()
{
    std::vector<InstalledService> services;
    for (const auto& [name, binaryPath] : win::Win32Services())
        services.push_back(
            {QString::fromStdWString(name), ServiceProgram(QString::fromStdWString(binaryPath))});
    return services;
}

ServiceState QueryServiceState(const QString& name)
{
    const unsigned long state = win::ServiceCurrentState(name.toStdWString());
    return state >= 1 && state <= 7 ? ServiceState(state) : ServiceState::Unknown;
}

} // namespace platform
