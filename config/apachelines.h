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
 * Calls @p onLine with each line of @p bytes in order: CR LF, a lone CR and a lone LF end a line, a
 * last line needs none. The one place that knows line ends and continuations.
 */
void ForEachApacheLine(QByteArrayView bytes, Continuations continuations,
                       const std::function<void(const ApacheLine&)>& onLine);

/** The most a configuration file may hold: a larger one is refused before anything is touched. */
inline constexpr qint64 kMostFileBytes = qint64(256) << 20;

/**
 * The whole regular file at @p path (never blocking on a FIFO put in its place) as large as it was when
 * opened, at most kMostFileBytes; else @p error is set. @p opened gets its owner and mode (fd closed).
 */
QByteArray ReadWholeFile(const QString& path, QString* error, platform::OpenedFile* opened = nullptr);

/** The reason given when the memory for the file at @p path, @p size bytes, could not be had. */
QString OutOfMemory(const QString& path, qint64 size);

} // namespace config
