// SPDX-License-Identifier: MIT
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "native_win.h"

namespace platform::win {

namespace {

std::wstring BinaryPath(SC_HANDLE manager, const wchar_t* name)
{
    std::wstring path;
    SC_HANDLE service = ::OpenServiceW(manager, name, SERVICE_QUERY_CONFIG);
    if (!service)
        return path;
    DWORD needed = 0;
    ::QueryServiceConfigW(service, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (needed && ::QueryServiceConfigW(service, config, needed, &needed) && config->lpBinaryPathName)
        path = config->lpBinaryPathName;
    ::CloseServiceHandle(service);
    return path;
}

} // namespace

std::vector<std::pair<std::wstring, std::wstring>> Win32Services()
{
    std::vector<std::pair<std::wstring, std::wstring>> services;
    SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE);
    if (!manager)
        return services;
    // Without a resume handle each call lists from the start; the list may grow between calls.
    std::vector<BYTE> buffer;
    DWORD needed = 0;
    DWORD count = 0;
    while (!::EnumServicesStatusExW(manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL,
                                    buffer.data(), static_cast<DWORD>(buffer.size()), &needed, &count,
                                    nullptr, nullptr)) {
        if (::GetLastError() != ERROR_MORE_DATA) {
            count = 0;
            break;
        }
        buffer.resize(buffer.size() + needed);
    }
    const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data());
    for (DWORD i = 0; i < count; ++i)
        services.emplace_back(entries[i].lpServiceName, BinaryPath(manager, entries[i].lpServiceName));
    ::CloseServiceHandle(manager);
    return services;
}

unsigned long ServiceCurrentState(const std::wstring& name)
{
    // Asking needs no more than any user has: connect, and query one service's status.
    SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager)
        return 0;
    unsigned long state = 0;
    if (SC_HANDLE service = ::OpenServiceW(manager, name.c_str(), SERVICE_QUERY_STATUS)) {
        SERVICE_STATUS_PROCESS status{};
        DWORD needed = 0;
        if (::QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                   sizeof status, &needed))
            state = status.dwCurrentState;
        ::CloseServiceHandle(service);
    }
    ::CloseServiceHandle(manager);
    return state;
}

} // namespace platform::win
