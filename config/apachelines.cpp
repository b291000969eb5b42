// SPDX-License-Identifier: MIT
#include "apachelines.h"

#include "platform/safefile.h"

#if defined(__SSE2__) && defined(__GNUC__)
#include <emmintrin.h>
#endif

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

// True when the bytes at @p text are @p lower in any ASCII case.
bool SameWordLowered(const char* text, const QByteArray& lower)
{
    for (qsizetype i = 0; i < lower.size(); ++i)
        if ((text[i] >= 'A' && text[i] <= 'Z' ? char(text[i] | 0x20) : text[i]) != lower[i])
            return false;
    return true;
}

} // namespace

qsizetype ApacheLineReader::findAnchor(QByteArrayView text)
{
    const char* const s = text.data();
    const qsizetype n = text.size();
    const qsizetype k = m_anchor.size();
    qsizetype i = 0;
#if defined(__SSE2__) && defined(__GNUC__)
    // Sixteen places at a time; only where the first and the last byte fit is the word compared.
    const __m128i caseBit = _mm_set1_epi8(0x20);
    const __m128i first = _mm_set1_epi8(char(m_anchor.front() | 0x20));
    const __m128i last = _mm_set1_epi8(char(m_anchor.back() | 0x20));
    for (; i + k + 15 <= n; i += 16) {
        const auto at = [s](qsizetype offset) {
            return _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + offset));
        };
        const __m128i firsts = _mm_cmpeq_epi8(_mm_or_si128(at(i), caseBit), first);
        const __m128i lasts = _mm_cmpeq_epi8(_mm_or_si128(at(i + k - 1), caseBit), last);
        for (unsigned mask = unsigned(_mm_movemask_epi8(_mm_and_si128(firsts, lasts))); mask;
             mask &= mask - 1)
            if (SameWordLowered(s + i + __builtin_ctz(mask), m_anchor))
                return i + __builtin_ctz(mask);
    }
#endif
    // The last places, and all of them without SSE2, one by one.
    for (; i + k <= n; ++i)
        if (SameWordLowered(s + i, m_anchor))
            return i;
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
