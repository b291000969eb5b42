// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

namespace platform {

/** A regular file opened for reading, and what the replacement must carry over from it. */
struct OpenedFile
{
    int fd = -1;     ///< open for reading; -1 on failure
    qint64 size = 0; ///< its size when opened: no more than this is read
    unsigned owner = 0;
    unsigned group = 0;
    unsigned mode = 0; ///< permission bits including setuid, setgid and sticky (07777)
    QString error;     ///< the reason when fd is -1
};

/**
 * The file that @p path finally names, every link followed by the system itself (not by text),
 * so that reading and writing reach the same file. Empty with @p error set when it cannot be had.
 */
QString ResolveFinalPath(const QString& path, QString* error);

/**
 * Opens @p path for reading without ever blocking (a FIFO in its place fails at once), and only
 * when the opened handle is a regular file. The caller closes fd.
 */
OpenedFile OpenRegularFile(const QString& path);

/**
 * Gives the open replacement file @p fd the owner, group and exact permission bits of
 * @p original, as far as the process may set them; the mode comes last, as changing the owner
 * clears setuid and setgid. No-op where files carry no such ids.
 */
void CarryOverOwnerAndMode(int fd, const OpenedFile& original);

/**
 * Keeps the file @p target (a final path, no link) as it is now under a new name beside it, so
 * that PutBack can restore it exactly: a second hard link to it where the file system has them
 * (bytes, owner, mode and all), else a copy given its owner and mode. The new name, or empty
 * with @p error set.
 */
QString KeepOriginal(const QString& target, QString* error);

/** Puts @p kept back in place of @p target in one step (a rename); false with @p error set. */
bool PutBack(const QString& kept, const QString& target, QString* error);

/** Size of the open file @p fd, or -1. */
qint64 OpenFileSize(int fd);

} // namespace platform
