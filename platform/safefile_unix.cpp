// SPDX-License-Identifier: MIT
#include "safefile.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

QString SystemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString KeptSuffix(int attempt)
{
    return QString::number(qint64(::getpid()) * 100 + attempt, 36);
}

} // namespace

QString ResolveFinalPath(const QString& path, QString* error)
{
    char resolved[PATH_MAX];
    if (!::realpath(QFile::encodeName(path).constData(), resolved)) {
        *error = SystemReason(errno);
        return {};
    }
    return QFile::decodeName(resolved);
}

OpenedFile OpenRegularFile(const QString& path)
{
    OpenedFile file;
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer for ever.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        file.error = SystemReason(errno);
        return file;
    }
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0) {
        file.error = SystemReason(errno);
        ::close(fd);
        return file;
    }
    if (!S_ISREG(st.st_mode)) {
        file.error = QStringLiteral("不是普通文件（可能已被替换为文件夹、管道或设备）");
        ::close(fd);
        return file;
    }
    file.fd = fd;
    file.size = qint64(st.st_size);
    file.owner = st.st_uid;
    file.group = st.st_gid;
    file.mode = st.st_mode & 07777;
    return file;
}

void CarryOverOwnerAndMode(int fd, const OpenedFile& original)
{
    if (fd < 0)
        return;
    // Only root may give a file away; a member of the group may still set the group.
    if (::fchown(fd, original.owner, original.group) != 0)
        (void)!::fchown(fd, uid_t(-1), original.group);
    (void)!::fchmod(fd, mode_t(original.mode));
}

QString KeepOriginal(const QString& target, QString* error)
{
    const QByteArray from = QFile::encodeName(target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        // Not ending in .conf or .ini: a folder Apache includes by wildcard must not read it.
        const QString kept = target + QStringLiteral(".brellimar-%1").arg(KeptSuffix(attempt));
        const QByteArray to = QFile::encodeName(kept);
        if (::link(from.constData(), to.constData()) == 0)
            return kept;
        if (errno == EEXIST)
            continue;
        // No hard links here (a FAT volume, some shares): a copy that carries owner and mode.
        const OpenedFile original = OpenRegularFile(target);
        if (original.fd < 0) {
            *error = original.error;
            return {};
        }
        ::close(original.fd);
        if (!QFile::copy(target, kept)) {
            *error = SystemReason(errno);
            return {};
        }
        const int fd = ::open(to.constData(), O_RDONLY | O_CLOEXEC);
        CarryOverOwnerAndMode(fd, original);
        if (fd >= 0)
            ::close(fd);
        return kept;
    }
    *error = SystemReason(EEXIST);
    return {};
}

bool PutBack(const QString& kept, const QString& target, QString* error)
{
    if (::rename(QFile::encodeName(kept).constData(), QFile::encodeName(target).constData()) == 0)
        return true;
    *error = SystemReason(errno);
    return false;
}

qint64 OpenFileSize(int fd)
{
    struct stat st
    {
    };
    return ::fstat(fd, &st) == 0 ? qint64(st.st_size) : -1;
}

} // namespace platform
