// SPDX-License-Identifier: MIT
#include "apachelines.h"

#include <QDir>
#include <QFile>

#include <new>

namespace config {

void ForEachApacheLine(QByteArrayView bytes, Continuations continuations,
                       const std::function<void(const ApacheLine&)>& onLine)
{
    const char* const data = bytes.data();
    const qsizetype n = bytes.size();
    QByteArray joined; // a line that goes on: its parts so far
    ApacheLine line;
    for (qsizetype at = 0, number = 1; at < n; ++number) {
        qsizetype eol = at;
        while (eol < n && data[eol] != '\r' && data[eol] != '\n')
            ++eol;
        const qsizetype next =
            std::min(n, eol + (eol + 1 < n && data[eol] == '\r' && data[eol + 1] == '\n' ? 2 : 1));
        const QByteArrayView physical(data + at, eol - at);
        // Apache's rule: a backslash right before the line end, not itself escaped by another.
        const bool goesOn = continuations == Continuations::Join && physical.size() >= 2 &&
                            physical.back() == '\\' && physical[physical.size() - 2] != '\\';
        if (joined.isNull())
            line = {physical, at, 0, number};
        if (goesOn || !joined.isNull())
            joined += goesOn ? physical.chopped(1) : physical;
        // A file that ends in a continuation ends the line there.
        if (!goesOn || next == n) {
            line.text = joined.isNull() ? physical : QByteArrayView(joined);
            line.end = next;
            onLine(line);
            joined = QByteArray();
        }
        at = next;
    }
}

QByteArray ReadWholeFile(const QString& path, QString* error, platform::OpenedFile* info)
{
    const platform::OpenedFile opened = platform::OpenRegularFile(path);
    if (info)
        *info = {-1, opened.size, opened.owner, opened.group, opened.mode, opened.error};
    if (opened.fd < 0) {
        *error = opened.error;
        return {};
    }
    QFile file;
    if (!file.open(opened.fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        *error = file.errorString();
        return {};
    }
    if (opened.size > kMostFileBytes) {
        *error =
            QStringLiteral("%1 有 %2 MiB，超过 %3 MiB，不像配置文件，不能修改")
                .arg(QDir::toNativeSeparators(path), QString::number(double(opened.size) / (1 << 20), 'f', 1))
                .arg(kMostFileBytes >> 20);
        return {};
    }
    try {
        // Never more than its size when opened: a file that grows meanwhile is read as it was.
        QByteArray bytes = file.read(opened.size);
        if (bytes.size() < opened.size && file.error() != QFileDevice::NoError)
            *error = file.errorString();
        return bytes;
    } catch (const std::bad_alloc&) {
        *error = OutOfMemory(path, opened.size);
        return {};
    }
}

QString OutOfMemory(const QString& path, qint64 size)
{
    return QStringLiteral("内存不足，无法处理 %1（%2 MiB）")
        .arg(QDir::toNativeSeparators(path), QString::number(double(size) / (1 << 20), 'f', 1));
}

} // namespace config
