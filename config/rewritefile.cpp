// SPDX-License-Identifier: MIT
#include "rewritefile.h"

#include "apachelines.h"
#include "platform/safefile.h"

#include <QDir>
#include <QSaveFile>

#include <new>

namespace config {

RewriteResult RewriteFile(const QString& path, const RewritePlan& plan)
{
    RewriteResult result{QDir::toNativeSeparators(path), {}, {}};
    const auto fail = [&result](const QString& reason) {
        result.reason = reason;
        return result;
    };
    if (plan.rules.empty())
        return result;
    // Read and write the very same file: the one the system reaches through every link.
    QString error;
    const QString target = platform::ResolveFinalPath(path, &error);
    if (target.isEmpty())
        return fail(error);
    platform::OpenedFile original;
    const QByteArray content = ReadWholeFile(target, &error, &original);
    if (!error.isEmpty())
        return fail(error);
    if (content.isEmpty())
        return result;
    // A byte order mark of UTF-16: not 8-bit text, whose lines could be found and kept.
    if (content.startsWith("\xff\xfe") || content.startsWith("\xfe\xff"))
        return fail(QStringLiteral("文件是 UTF-16 编码，不是 8 位文本，不能修改"));
    std::optional<QByteArray> rewritten;
    try {
        rewritten = RewriteContent(content, plan, &result.notSet);
    } catch (const std::bad_alloc&) {
        return fail(OutOfMemory(target, content.size()));
    }
    if (!rewritten)
        return fail(QStringLiteral("某个值含有配置文件的编码无法表示的字符"));

    // Bytes that are already as asked are not written again: the file keeps its node, time and place.
    if (!(result.changed = *rewritten != content))
        return result;

    // No direct-write fallback: writing in place could leave half a file behind.
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(out.errorString());
    platform::CarryOverOwnerAndMode(out.handle(), original);
    // A write that stops short is retried, so that the system says why the rest does not fit; one
    // that came up short without an error still fails, never without a reason. Uncommitted, the
    // temporary file goes with its QSaveFile.
    const QString shortWrite = QStringLiteral("磁盘空间不足或写入被截断");
    for (qint64 done = 0, written = 0; done < rewritten->size(); done += written)
        if ((written = out.write(rewritten->constData() + done, rewritten->size() - done)) <= 0)
            return fail(out.error() != QFileDevice::NoError ? out.errorString() : shortWrite);
    if (platform::OpenFileSize(out.handle()) != rewritten->size())
        return fail(shortWrite);
    if (!out.commit())
        return fail(out.errorString());
    return result;
}

} // namespace config
