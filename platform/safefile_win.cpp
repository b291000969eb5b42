// SPDX-License-Identifier: MIT
#include "safefile.h"

#include "win/native_win.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>

namespace platform {

QString ResolveFinalPath(const QString& path, QString* error)
{
    const QString resolved = QFileInfo(path).canonicalFilePath();
    if (resolved.isEmpty())
        *error = QString::fromLocal8Bit(std::strerror(ENOENT));
    return resolved;
}

OpenedFile OpenRegularFile(const QString& path)
{
    OpenedFile file;
    const int fd =
        ::_wopen(reinterpret_cast<const wchar_t*>(path.utf16()), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) {
        file.error = QString::fromLocal8Bit(std::strerror(errno));
        return file;
    }
    struct _stat64 st
    {
    };
    if (::_fstat64(fd, &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) {
        file.error = QStringLiteral("不是普通文件（可能已被替换为文件夹、管道或设备）");
        ::_close(fd);
        return file;
    }
    file.fd = fd;
    file.size = qint64(st.st_size);
    return file;
}

// Windows files carry access lists rather than owner ids and mode bits; a replaced file keeps
// those its folder gives it.
void CarryOverOwnerAndMode(int, const OpenedFile&) {}

QString KeepOriginal(const QString& target, QString* error)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        // Not ending in .conf or .ini: a folder Apache includes by wildcard must not read it.
        const QString kept =
            target +
            QStringLiteral(".brellimar-%1").arg(QString::number(qint64(::_getpid()) * 100 + attempt, 36));
        if (QFileInfo::exists(kept))
            continue;
        // A hard link keeps the very file, its access list included; where the volume has none, a copy.
        if (win::MakeHardLink(kept.toStdWString(), target.toStdWString()) || QFile::copy(target, kept))
            return kept;
        *error = QString::fromStdWString(win::LastErrorText());
        return {};
    }
    *error = QString::fromLocal8Bit(std::strerror(EEXIST));
    return {};
}

bool PutBack(const QString& kept, const QString& target, QString* error)
{
    if (win::ReplaceWith(kept.toStdWString(), target.toStdWString()))
        return true;
    *error = QString::fromStdWString(win::LastErrorText());
    return false;
}

qint64 OpenFileSize(int fd)
{
    struct _stat64 st
    {
    };
    return ::_fstat64(fd, &st) == 0 ? qint64(st.st_size) : -1;
}

} // namespace platform
