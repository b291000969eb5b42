// SPDX-License-Identifier: MIT
// Direct Windows API calls, kept free of Qt types so that they compile on their own.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace platform::win {

/** A plain, read-only or archive file: not a folder, not hidden, not a system file. */
bool IsOrdinaryFile(const std::wstring& path);

/** Bytes printed by a console program (net), decoded from the OEM code page consoles use. */
std::wstring DecodeConsoleBytes(const std::string& bytes);

/** A second name @p link for the file @p target (NTFS hard link). */
bool MakeHardLink(const std::wstring& link, const std::wstring& target);

/** Renames @p from to @p to, replacing it, in one step. */
bool ReplaceWith(const std::wstring& from, const std::wstring& to);

/** The system's text for the calling thread's last error. */
std::wstring LastErrorText();

/**
 * The shell's folder dialog, modal to @p owner (an HWND): the chosen folder's file-system path,
 * or an empty string when the user cancelled or chose something without a path.
 */
std::wstring BrowseForFolder(void* owner, const std::wstring& title);

/** The Win32 services the service manager knows, in its order: each one's name and binary path. */
std::vector<std::pair<std::wstring, std::wstring>> Win32Services();

/** The service's dwCurrentState (SERVICE_STOPPED 1 to SERVICE_PAUSED 7); 0 when it cannot be asked. */
unsigned long ServiceCurrentState(const std::wstring& name);

/**
 * The processes listening on TCP @p port, IPv4 and IPv6, each once: its id (0 where the system
 * names none) and its program's full path (empty where the process cannot be read).
 */
std::vector<std::pair<unsigned long, std::wstring>> TcpListeners(unsigned short port);

} // namespace platform::win
