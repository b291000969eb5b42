// SPDX-License-Identifier: MIT
#include "apachelines.h"

#include "platform/safefile.h"

namespace config {

namespace {

bool IsLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

// The start of the line that @p at is in, not before @p from (a line start).
const char* LineStart(const char* from, const char* at)
{
    while (at > from && !IsLineEnd(at[-1]))
        --at;
    return at;
}

// The line that ends just before @p lineStart, which lies past @p from (a line start).
QByteArrayView LineBefore(const char* from, const char* lineStart)
{
    const char* end = lineStart - 1;
    if (*end == '\n' && end > from && end[-1] == '\r')
        --end;
    const char* start = LineStart(from, end);
    return QByteArrayView(start, end - start);
}

} // namespace

const char* ApacheLineReader::nextCandidate(const char* from, const char* end)
{
    const qsizetype hit = platform::FindBytes(QByteArrayView(from, end), m_anchor, 0);
    // Without a hit every whole line left is passed over; the line still open waits for the next piece.
    const char* start = hit < 0 ? LineStart(from, end) : LineStart(from, from + hit);
    if (start > from)
        m_dropping = continues(LineBefore(from, start));
    if (hit >= 0)
        return start;
    if (start == end)
        m_afterCr = end[-1] == '\r';
    m_open.append(start, end - start);
    return end;
}

QString ReadApacheLines(const QString& path, ApacheLineReader& reader,
                        const std::function<void(const ApacheLine&)>& onLine)
{
    const platform::OpenedFile opened = platform::OpenRegularFile(path);
    if (opened.fd < 0)
        return opened.error;
    QFile file;
    if (!file.open(opened.fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle))
        return file.errorString();
    return ReadLines(file, opened.size, reader, onLine);
}

} // namespace config
