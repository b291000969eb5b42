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

// ContinuesOnNextLine() for the line that ends just before @p lineStart, which lies past @p from
// (a line start): decided on its last two bytes, without finding where it starts.
bool LineBeforeContinues(const char* from, const char* lineStart)
{
    const char* end = lineStart - 1;
    if (*end == '\n' && end > from && end[-1] == '\r')
        --end;
    return end - from >= 2 && end[-1] == '\\' && end[-2] != '\\' && !IsLineEnd(end[-2]);
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

void ApacheLineReader::onlyLinesWith(const QByteArrayList& words)
{
    m_anchors.clear();
    m_longestAnchor = 0;
    for (const QByteArray& word : words) {
        m_anchors << word.toLower();
        m_longestAnchor = std::max(m_longestAnchor, word.size());
    }
}

qsizetype ApacheLineReader::findAnchor(QByteArrayView text) const
{
    const char* const s = text.data();
    const qsizetype n = text.size();
    qsizetype i = 0;
    const auto anchorAt = [&](qsizetype at) {
        return std::any_of(m_anchors.cbegin(), m_anchors.cend(), [&](const QByteArray& anchor) {
            return at + anchor.size() <= n && SameWordLowered(s + at, anchor);
        });
    };
#if defined(__SSE2__) && defined(__GNUC__)
    // Sixteen places at a time; only where an anchor's first and last byte fit is the word compared.
    constexpr qsizetype kMost = 4;
    const qsizetype count = m_anchors.size();
    __m128i firsts[kMost], lasts[kMost];
    qsizetype lastAt[kMost];
    for (qsizetype a = 0; a < std::min(count, kMost); ++a) {
        firsts[a] = _mm_set1_epi8(char(m_anchors[a].front() | 0x20));
        lasts[a] = _mm_set1_epi8(char(m_anchors[a].back() | 0x20));
        lastAt[a] = m_anchors[a].size() - 1;
    }
    const __m128i caseBit = _mm_set1_epi8(0x20);
    const auto at = [s, caseBit](qsizetype offset) {
        return _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + offset)), caseBit);
    };
    for (; count <= kMost && i + m_longestAnchor + 15 <= n; i += 16) {
        const __m128i here = at(i);
        __m128i fits = _mm_setzero_si128();
        for (qsizetype a = 0; a < count; ++a)
            fits = _mm_or_si128(fits, _mm_and_si128(_mm_cmpeq_epi8(here, firsts[a]),
                                                    _mm_cmpeq_epi8(at(i + lastAt[a]), lasts[a])));
        for (unsigned mask = unsigned(_mm_movemask_epi8(fits)); mask; mask &= mask - 1)
            if (anchorAt(i + __builtin_ctz(mask)))
                return i + __builtin_ctz(mask);
    }
#endif
    // The last places, and all of them without SSE2, one by one.
    for (; i < n; ++i)
        if (anchorAt(i))
            return i;
    return -1;
}

ApacheLineReader::Candidate ApacheLineReader::nextCandidate(const char* from, const char* end)
{
    const qsizetype hit = findAnchor(QByteArrayView(from, end));
    // Without a hit every whole line left is passed over; the line still open waits for the next piece.
    const char* start = hit < 0 ? LineStart(from, end) : LineStart(from, from + hit);
    const bool passedContinues = start > from && LineBeforeContinues(from, start);
    m_dropping = m_join && passedContinues;
    if (hit < 0) {
        if (start == end)
            m_afterCr = end[-1] == '\r';
        m_open.append(start, end - start);
    }
    return {start, hit >= 0, passedContinues};
}

bool OnlyCrLfLineEnds(QByteArrayView text)
{
    const char* const s = text.data();
    const qsizetype n = text.size();
    qsizetype i = 0;
    unsigned afterCr = 0; // the byte before was a CR: an LF must come now, and only then
#if defined(__SSE2__) && defined(__GNUC__)
    for (; i + 16 <= n; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        const unsigned crs = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\r'))));
        const unsigned lfs = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))));
        if (lfs != (((crs << 1) | afterCr) & 0xffff))
            return false;
        afterCr = crs >> 15;
    }
#endif
    for (; i < n; ++i) {
        if ((s[i] == '\n') != bool(afterCr))
            return false;
        afterCr = s[i] == '\r';
    }
    return true;
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
