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

} // namespace platform
