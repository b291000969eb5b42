// SPDX-License-Identifier: MIT
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include "native_win.h"

namespace platform::win {

std::wstring BrowseForFolder(void* owner, const std::wstring& title)
{
    // The shell dialog needs COM on this thread. The GUI thread usually has it already (S_FALSE);
    // only a successful call of ours is balanced.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

    BROWSEINFOW info{};
    info.hwndOwner = static_cast<HWND>(owner);
    info.pidlRoot = nullptr;
    info.pszDisplayName = nullptr;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN;
    info.lpfn = nullptr;
    info.lParam = 0;

    std::wstring path;
    if (PIDLIST_ABSOLUTE items = ::SHBrowseForFolderW(&info)) {
        // Wide text throughout, so folder names outside the ANSI code page come back intact.
        std::wstring buffer(0x260, L'\0');
        ::SHGetPathFromIDListW(items, buffer.data());
        ::CoTaskMemFree(items);
        path = buffer.substr(0, buffer.find(L'\0'));
    }

    if (SUCCEEDED(com))
        ::CoUninitialize();
    return path;
}

} // namespace platform::win
