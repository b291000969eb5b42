// SPDX-License-Identifier: MIT
#include "rewritefile.h"

#include "platform/safefile.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <memory>

namespace config {

namespace {

constexpr qsizetype kChunk = 1 << 20;

const QString& ShortWriteReason()
{
    static const QString reason = QStringLiteral("磁盘空间不足或写入被截断");
    return reason;
}

// Writes everything or gives the system's reason; a write that stops short is retried, so that
// the system can say why the rest does not fit.
bool WriteAll(QSaveFile& out, const char* data, qint64 size, QString* reason)
{
    while (size > 0) {
        const qint64 written = out.write(data, size);
        if (written <= 0) {
            *reason =
                written < 0 && out.error() != QFileDevice::NoError ? out.errorString() : ShortWriteReason();
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

} // namespace

RewriteResult RewriteFile(const QString& path, const RewritePlan& plan)
{
    RewriteResult result{QDir::toNativeSeparators(path), {}, {}};
    const auto fail = [&result](const QString& reason) {
        result.reason = reason;
        return result;
    };
    if (plan.rules.empty())
        return result;
    std::optional<LineRewriter> engine = LineRewriter::Create(plan);
    if (!engine)
        return fail(QStringLiteral("某个值含有配置文件的编码无法表示的字符"));

    // Read and write the very same file: the one the system reaches through every link.
    QString error;
    const QString target = platform::ResolveFinalPath(path, &error);
    if (target.isEmpty())
        return fail(error);
    const platform::OpenedFile original = platform::OpenRegularFile(target);
    if (original.fd < 0)
        return fail(original.error);
    QFile in;
    if (!in.open(original.fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle))
        return fail(in.errorString());
    if (original.size == 0)
        return result;
    char start[2] = {};
    if (in.read(start, 2) == 2 && StartsAsUtf16(QByteArrayView(start, 2)))
        return fail(QStringLiteral("文件是 UTF-16 编码，不是 8 位文本，不能修改"));

    if (engine->needsScan()) {
        error = ReadPieces(in, original.size, [&](QByteArrayView piece) { engine->scan(piece); });
        if (!error.isEmpty())
            return fail(error);
        engine->endScan();
    }

    // No direct-write fallback: writing in place could leave half a file behind.
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(out.errorString());
    platform::CarryOverOwnerAndMode(out.handle(), original);

    // Output goes through a fixed buffer: two small writes per line would cost more than the rest.
    const std::unique_ptr<char[]> buffer(new char[kChunk]);
    qsizetype used = 0;
    qint64 total = 0;
    bool written = true;
    const auto put = [&](QByteArrayView piece) {
        if (!written)
            return;
        if (used + piece.size() > kChunk) {
            written = WriteAll(out, buffer.get(), used, &error);
            used = 0;
        }
        if (written && piece.size() > kChunk)
            written = WriteAll(out, piece.data(), piece.size(), &error);
        else if (written)
            std::memcpy(buffer.get() + std::exchange(used, used + piece.size()), piece.data(),
                        size_t(piece.size()));
        total += piece.size();
    };
    // Unchanged lines that end in CR LF go out as they stand, a run of them at a time.
    const char* runStart = nullptr;
    const char* runEnd = nullptr;
    const auto putRun = [&] {
        if (runStart)
            put(QByteArrayView(runStart, runEnd));
        runStart = nullptr;
    };
    ApacheLineReader lines(ApacheLineReader::Continuations::Keep);
    const auto onLine = [&](const ApacheLine& line) {
        const std::optional<QByteArrayView> piece = engine->rewrite(line.text);
        if (!piece)
            return;
        if (line.crLfFollows && piece->data() == line.text.data() && piece->size() == line.text.size()) {
            if (!runStart || runEnd != line.text.data()) {
                putRun();
                runStart = line.text.data();
            }
            runEnd = line.text.data() + line.text.size() + 2;
            return;
        }
        putRun();
        put(*piece);
        put(QByteArrayView("\r\n", 2));
    };
    // A run never outlives the piece it lies in.
    QString readError = ReadPieces(in, original.size, [&](QByteArrayView piece) {
        lines.feed(piece, onLine);
        putRun();
    });
    if (readError.isEmpty())
        lines.finish(onLine);
    if (written)
        written = WriteAll(out, buffer.get(), used, &error);
    if (written && readError.isEmpty() && platform::OpenFileSize(out.handle()) != total) {
        written = false;
        error = ShortWriteReason();
    }
    // Uncommitted, the temporary file goes with out.
    if (!written || !readError.isEmpty())
        return fail(readError.isEmpty() ? error : readError);
    // Windows refuses to rename over a file that is still open.
    in.close();
    if (!out.commit())
        return fail(out.errorString());
    result.notSet = engine->unmatched();
    return result;
}

RewriteResult RewritePhpIni(const QString& path, bool showErrors)
{
    return RewriteFile(path, PhpIniPlan(showErrors));
}

RewriteResult RewriteHttpdConf(const QString& path, const QString& documentRoot,
                               const QString& directoryIndex, const QStringList& afterDocumentRoot)
{
    return RewriteFile(path, HttpdConfPlan(documentRoot, directoryIndex, afterDocumentRoot));
}

} // namespace config
