// SPDX-License-Identifier: MIT
#include "apachelog.h"

#include "serviceactions.h"

#include "config/apachelines.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <vector>

namespace services {

namespace {

// Enough for a handful of lines; a log that grew by more is read from the start of its growth.
constexpr qint64 kReadLimit = 64 * 1024;

} // namespace

LogTail::LogTail(QString path) : m_path(std::move(path))
{
    const QFileInfo info(m_path);
    m_size = info.isFile() ? info.size() : 0;
}

QStringList LogTail::newLines(int maxLines, int maxChars) const
{
    QFile file(m_path);
    if (file.size() <= m_size || !file.open(QIODevice::ReadOnly) || !file.seek(m_size))
        return {};
    const QByteArray bytes = file.read(kReadLimit);
    QStringDecoder decoder(QStringConverter::System);
    QStringList lines;
    // A log is no configuration: its lines end as configuration lines do, but none goes on in the next.
    config::ApacheLineReader reader(config::ApacheLineReader::Continuations::Keep);
    const auto onLine = [&](const config::ApacheLine& raw) {
        const QString line = QString(decoder.decode(raw.text)).trimmed();
        if (!line.isEmpty() && lines.size() < maxLines)
            lines << line.left(maxChars);
    };
    reader.feed(bytes, onLine);
    reader.finish(onLine);
    return lines;
}

ApacheLogRunner::ApacheLogRunner(CommandRunner& runner, QStringList errorLogs)
    : m_runner(runner), m_errorLogs(std::move(errorLogs))
{
}

CommandRecord ApacheLogRunner::run(const QString& commandLine)
{
    // Apache's start is the same command line alone and as the second half of a restart.
    if (commandLine != CommandsFor(Service::Apache, ServiceAction::Start).commandLines.value(0))
        return m_runner.run(commandLine);
    std::vector<LogTail> tails;
    for (const QString& path : m_errorLogs)
        tails.emplace_back(path);
    CommandRecord record = m_runner.run(commandLine);
    if (record.outcome.succeeded())
        return record;
    for (const LogTail& tail : tails) {
        record.outcome.logLines = tail.newLines();
        if (!record.outcome.logLines.isEmpty())
            break;
    }
    return record;
}

} // namespace services
