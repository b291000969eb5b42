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

// Output through a fixed buffer: a few small writes per line would cost more than the rest; long
// runs of bytes go straight out.
class Output
{
  public:
    explicit Output(QSaveFile& file) : m_file(file), m_buffer(new char[kChunk]) {}

    void put(QByteArrayView bytes)
    {
        m_total += bytes.size();
        if (!m_written)
            return;
        if (m_used + bytes.size() > kChunk || bytes.size() >= kStraight)
            write(m_buffer.get(), std::exchange(m_used, 0));
        if (bytes.size() >= kStraight)
            write(bytes.data(), bytes.size());
        else if (m_written)
            std::memcpy(m_buffer.get() + std::exchange(m_used, m_used + bytes.size()), bytes.data(),
                        size_t(bytes.size()));
    }

    /** Writes what is left; false with the reason when not all of it reached the file. */
    bool finish(QString* reason)
    {
        write(m_buffer.get(), std::exchange(m_used, 0));
        // A write that came up short without an error still fails, and never without a reason.
        m_written = m_written && platform::OpenFileSize(m_file.handle()) == m_total;
        if (!m_written)
            *reason = m_error.isEmpty() ? ShortWriteReason() : m_error;
        return m_written;
    }

  private:
    void write(const char* data, qint64 size)
    {
        m_written = m_written && WriteAll(m_file, data, size, &m_error);
        // A large file's sync would wait for all of it at the end: the disk starts on it meanwhile.
        if (m_written && (m_sent += size) - m_writeback >= kWriteback) {
            platform::StartWriteback(m_file.handle(), m_writeback, m_sent - m_writeback);
            m_writeback = m_sent;
        }
    }

    static constexpr qsizetype kStraight = 64 << 10;
    static constexpr qint64 kWriteback = 8 << 20;
    QSaveFile& m_file;
    const std::unique_ptr<char[]> m_buffer;
    qsizetype m_used = 0;
    qint64 m_total = 0;
    qint64 m_sent = 0;      ///< handed to the file
    qint64 m_writeback = 0; ///< of that, what the disk was asked to start on
    bool m_written = true;
    QString m_error;
};

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

    const LineRewriter::Source source = [&](const std::function<bool(QByteArrayView)>& onPiece) {
        return ReadPieces(in, original.size, onPiece);
    };
    for (;;) {
        // No direct-write fallback: writing in place could leave half a file behind.
        QSaveFile out(target);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return fail(out.errorString());
        platform::CarryOverOwnerAndMode(out.handle(), original);
        Output output(out);
        const LineRewriter::Pass pass =
            engine->pass(source, [&output](QByteArrayView bytes) { output.put(bytes); });
        // Uncommitted, a temporary file goes with its QSaveFile.
        if (!pass.readError.isEmpty())
            return fail(pass.readError);
        if (pass.again)
            continue;
        if (!output.finish(&error))
            return fail(error);
        // Windows refuses to rename over a file that is still open.
        in.close();
        if (!out.commit())
            return fail(out.errorString());
        break;
    }
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
