// SPDX-License-Identifier: MIT
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "native_win.h"

namespace platform::win {

bool IsOrdinaryFile(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) == 0;
}

std::wstring DecodeConsoleBytes(const std::string& bytes)
{
    if (bytes.empty())
        return {};
    // A program without a console of its own has no console code page to ask: use the OEM one,
    // which is what a console started for net would have.
    const UINT codePage = ::GetOEMCP();
    const int size = static_cast<int>(bytes.size());
    const int wide = ::MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
    if (wide <= 0)
        return {};
    std::wstring text(static_cast<size_t>(wide), L'\0');
    ::MultiByteToWideChar(codePage, 0, bytes.data(), size, text.data(), wide);
    return text;
}

} // namespace platform::win
