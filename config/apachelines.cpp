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

// Copies @p n bytes with each capital ASCII letter made small, eight bytes at a time.
void LowerAscii(const char* from, qsizetype n, char* to)
{
    constexpr quint64 kOnes = 0x0101010101010101ULL;
    qsizetype i = 0;
    for (; i + 8 <= n; i += 8) {
        quint64 x;
        std::memcpy(&x, from + i, 8);
        // Per byte: the high bit of each sum says >= 'A' and > 'Z' of the low seven bits.
        const quint64 low = x & (0x7f * kOnes);
        const quint64 capital =
            ((low + (0x80 - 'A') * kOnes) ^ (low + (0x80 - 'Z' - 1) * kOnes)) & ~x & (0x80 * kOnes);
        x |= capital >> 2;
        std::memcpy(to + i, &x, 8);
    }
    for (; i < n; ++i)
        to[i] = from[i] >= 'A' && from[i] <= 'Z' ? char(from[i] | 0x20) : from[i];
}

} // namespace

qsizetype ApacheLineReader::findAnchor(QByteArrayView text)
{
    // One memmem over a lowered copy, a block at a time (blocks overlap by the word's length).
    constexpr qsizetype kBlock = 32 * 1024;
    const qsizetype overlap = m_anchor.size() - 1;
    if (m_lowered.size() < kBlock + overlap)
        m_lowered.resize(kBlock + overlap);
    for (qsizetype at = 0; text.size() - at > overlap; at += kBlock) {
        const qsizetype n = std::min(kBlock + overlap, text.size() - at);
        LowerAscii(text.data() + at, n, m_lowered.data());
        const qsizetype hit = platform::FindBytes(QByteArrayView(m_lowered.constData(), n), m_anchor, 0);
        if (hit >= 0)
            return at + hit;
    }
    return -1;
}

const char* ApacheLineReader::nextCandidate(const char* from, const char* end)
{
    const qsizetype hit = findAnchor(QByteArrayView(from, end));
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
