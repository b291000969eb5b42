// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

/** How this system runs service commands and programs. */
namespace platform {

/** True where the services are controlled through the system's own net command (Windows). */
bool UsesNetCommand();

/**
 * The net program to start. On Windows %SystemRoot%\System32\net.exe by its full path, so that no
 * net.exe in the program's or the current folder is started instead; elsewhere the plain name.
 */
QString NetProgram();

/**
 * What to hand to QProcess for @p program so that a program that cannot be started fails with the
 * system's own reason: on POSIX systems the file that execvp would try, found on PATH (a file
 * without its execute bit then fails with "Permission denied", not "No such file or directory").
 */
QString ProgramToStart(const QString& program);

} // namespace platform
