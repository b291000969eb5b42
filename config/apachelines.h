// SPDX-License-Identifier: MIT
#pragma once

#include "platform/safefile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>

namespace config {

struct ApacheLine
{
    /** Without its line end; with Continuations::Join the lines it goes on in joined, backslashes dropped. */
    QByteArrayView text;
    qsizetype begin = 0; ///< the file's bytes it spans: from its first byte ...
    qsizetype end = 0;   ///< ... to past its (last) line end
    qint64 number = 0;   ///< the line number (from 1) of its first physical line
};

enum class Continuations {
    Join, ///< a line ending in a single backslash goes on in the next, as Apache reads its configuration
    Keep, ///< every physical line stands alone (php.ini, log files)
};

/**
 * Calls @p onLine with each line of @p bytes in order: CR LF, a lone CR and a lone LF each end a line,
 * and a last line needs none. The one place that knows line ends and continuations; a view given
 * lives until the call returns.
 */
void ForEachApacheLine(QByteArrayView bytes, Continuations continuations,
                       const std::function<void(const ApacheLine&)>& onLine);

/** The most a configuration file may hold: a larger one is refused before anything is touched. */
inline constexpr qint64 kMostFileBytes = qint64(256) << 20;

/**
 * The whole content of the file at @p path: only a regular file (never blocking on a FIFO or a
 * device put in its place), no more than its size when opened, at most kMostFileBytes. Sets
 * @p error (and gives nothing) when it cannot be read; @p opened, when given, gets the owner and
 * mode of the file read (its handle closed).
 */
QByteArray ReadWholeFile(const QString& path, QString* error, platform::OpenedFile* opened = nullptr);

/** The reason given when the memory for the file at @p path, @p size bytes, could not be had. */
QString OutOfMemory(const QString& path, qint64 size);

} // namespace config
