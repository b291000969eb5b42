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

bool MakeHardLink(const std::wstring& link, const std::wstring& target)
{
    return ::CreateHardLinkW(link.c_str(), target.c_str(), nullptr) != 0;
}

bool ReplaceWith(const std::wstring& from, const std::wstring& to)
{
    return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

std::wstring LastErrorText()
{
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        ::GetLastError(), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring result(text ? text : L"", length);
    ::LocalFree(text);
    while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r' || result.back() == L' '))
        result.pop_back();
    return result;
}

} // namespace platform::win
