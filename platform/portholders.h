// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <vector>

namespace platform {

/** A process listening on a TCP port. */
struct PortHolder
{
    qint64 pid = 0;              ///< 0 when the system does not say which process it is
    QString program;             ///< Windows: its program's full path; Linux: its comm; empty if unreadable
    bool windowsHttpSys = false; ///< Windows' own HTTP service (http.sys, in the System process)
};

/**
 * The processes listening on TCP @p port on any address, IPv4 or IPv6, each once. A socket that
 * several processes share (a server's workers) is named by the first of them.
 */
std::vector<PortHolder> PortHolders(quint16 port);

} // namespace platform
