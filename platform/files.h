// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

/**
 * True when @p path names an ordinary file (links followed). On Windows hidden and system files
 * do not count, as the shell does not show them either.
 */
bool IsOrdinaryFile(const QString& path);

/** Text printed by a console command, decoded from the console's code page. */
QString DecodeConsoleOutput(const QByteArray& bytes);

} // namespace platform
