// SPDX-License-Identifier: MIT
#include "apachelog.h"

#include "config/apachelines.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>

#include <vector>

namespace services {

namespace {

// Enough for a handful of lines; a log that grew by more is read from the start of its growth.
constexpr qint64 kReadLimit = 64 * 1024;

// "[time] [core:error] [pid 1:tid 1] (13)Permission denied: [client 127.0.0.1:1] AH00035: ...":
// the time, module, process and client say nothing to the user and would crowd out the reason.
QString WithoutLogPrefix(QString line)
{
    static const QRegularExpression prefix(QStringLiteral("^(\\[[^\\]]*\\] )+"));
    static const QRegularExpression client(QStringLiteral("\\[client [^\\]]*\\] "));
    return line.remove(prefix).remove(client);
}

} // namespace

LogTail::LogTail(const QStringList& paths)
{
    for (const QString& path : paths) {
        const QFileInfo info(path);
        m_ends.emplace_back(path, info.isFile() ? info.size() : 0);
    }
}

QStringList LogTail::newLines(int maxLines, int maxChars) const
{
    QStringList lines;
    for (const auto& [path, size] : m_ends) {
        QFile file(path);
        if (file.size() <= size || !file.open(QIODevice::ReadOnly) || !file.seek(size))
            continue;
        const QByteArray bytes = file.read(kReadLimit);
        QStringDecoder decoder(QStringConverter::System);
        // A log is no configuration: its lines end as configuration lines do, but none goes on in the next.
        config::ForEachApacheLine(bytes, config::Continuations::Keep, [&](const config::ApacheLine& raw) {
            const QString line = WithoutLogPrefix(QString(decoder.decode(raw.text)).trimmed());
            if (!line.isEmpty() && lines.size() < maxLines)
                lines << line.left(maxChars);
        });
        if (!lines.isEmpty())
            break;
    }
    return lines;
}

ApacheLogRunner::ApacheLogRunner(CommandRunner& runner, QStringList errorLogs)
    : m_runner(runner), m_errorLogs(std::move(errorLogs))
{
}

CommandRecord ApacheLogRunner::run(const ServiceCommand& command)
{
    // Apache's start, alone or as the second half of a restart.
    if (command.service != Service::Apache || command.verb != Verb::Start)
        return m_runner.run(command);
    const LogTail tail(m_errorLogs);
    CommandRecord record = m_runner.run(command);
    if (!record.outcome.succeeded())
        record.outcome.logLines = tail.newLines();
    return record;
}

} // namespace services
