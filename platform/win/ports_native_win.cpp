// SPDX-License-Identifier: MIT
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <iphlpapi.h>
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include "native_win.h"

#include <algorithm>

namespace platform::win {

namespace {

// The owners of the listening sockets of one address family (TABLE: its MIB_TCP(6)TABLE_OWNER_PID).
template <typename Table> std::vector<unsigned long> Owners(ULONG family, unsigned short port)
{
    std::vector<unsigned long> owners;
    std::vector<BYTE> buffer;
    DWORD size = 0;
    // The table may grow between the two calls; each failed call says how much it needs now.
    DWORD result = ERROR_INSUFFICIENT_BUFFER;
    for (int attempt = 0; attempt < 5 && result == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
        buffer.resize(size);
        result = ::GetExtendedTcpTable(buffer.data(), &size, FALSE, family, TCP_TABLE_OWNER_PID_LISTENER, 0);
    }
    if (result != NO_ERROR)
        return owners;
    const auto* table = reinterpret_cast<const Table*>(buffer.data());
    for (DWORD i = 0; i < table->dwNumEntries; ++i)
        if (::ntohs(static_cast<u_short>(table->table[i].dwLocalPort)) == port)
            owners.push_back(table->table[i].dwOwningPid);
    return owners;
}

std::wstring ProgramOf(unsigned long pid)
{
    std::wstring path;
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process)
        return path;
    path.resize(32768);
    DWORD length = static_cast<DWORD>(path.size());
    path.resize(::QueryFullProcessImageNameW(process, 0, path.data(), &length) ? length : 0);
    ::CloseHandle(process);
    return path;
}

} // namespace

std::vector<std::pair<unsigned long, std::wstring>> TcpListeners(unsigned short port)
{
    std::vector<unsigned long> owners = Owners<MIB_TCPTABLE_OWNER_PID>(AF_INET, port);
    for (unsigned long pid : Owners<MIB_TCP6TABLE_OWNER_PID>(AF_INET6, port))
        if (std::find(owners.begin(), owners.end(), pid) == owners.end())
            owners.push_back(pid);
    std::vector<std::pair<unsigned long, std::wstring>> listeners;
    for (unsigned long pid : owners)
        listeners.emplace_back(pid, pid ? ProgramOf(pid) : std::wstring());
    return listeners;
}

} // namespace platform::win
