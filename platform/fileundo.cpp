// SPDX-License-Identifier: MIT
#include "fileundo.h"

#include "safefile.h"

#include <QDir>
#include <QFile>

namespace platform {

FileUndo::~FileUndo()
{
    forget();
}

bool FileUndo::keep(const QString& path, QString* error)
{
    // The rewrite replaces the file the links lead to; that file is the one to put back.
    const QString target = platform::ResolveFinalPath(path, error);
    if (target.isEmpty())
        return false;
    const QString kept = platform::KeepOriginal(target, error);
    if (kept.isEmpty())
        return false;
    m_kept.push_back({target, kept});
    return true;
}

QStringList FileUndo::restore()
{
    QStringList failed;
    while (!m_kept.empty()) {
        const Kept last = m_kept.back();
        m_kept.pop_back();
        QString error;
        // Not put back, the kept file is all that is left of the old content: it stays and is named.
        if (!platform::PutBack(last.kept, last.target, &error))
            failed << QStringLiteral("%1：%2（原来的内容保存在 %3）")
                          .arg(QDir::toNativeSeparators(last.target), error,
                               QDir::toNativeSeparators(last.kept));
    }
    return failed;
}

void FileUndo::forget()
{
    for (const Kept& kept : m_kept)
        QFile::remove(kept.kept);
    m_kept.clear();
}

} // namespace platform
