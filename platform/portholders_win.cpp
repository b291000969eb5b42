// SPDX-License-Identifier: MIT
#include "portholders.h"

#include "win/native_win.h"

namespace platform {

std::vector<PortHolder> PortHolders(quint16 port)
{
    // The System process's id is always 4; its sockets are http.sys's, which IIS and others share.
    constexpr unsigned long kSystemPid = 4;
    std::vector<PortHolder> holders;
    for (const auto& [pid, program] : win::TcpListeners(port))
        holders.push_back({qint64(pid),
                           pid == kSystemPid ? QStringLiteral("System") : QString::fromStdWString(program),
                           pid == kSystemPid});
    return holders;
}

} // namespace platform
