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
    for (const QByteArray& word : words) {
        Anchor anchor{word.toLower()};
        for (qsizetype i = 0; i < std::min<qsizetype>(word.size(), 16); ++i) {
            anchor.padded[i] = anchor.lower[i];
            anchor.caseBits[i] = anchor.lower[i] >= 'a' && anchor.lower[i] <= 'z' ? 0x20 : 0;
        }
        anchor.whole = (1u << std::min<qsizetype>(word.size(), 16)) - 1;
        m_anchors.push_back(anchor);
    }
    m_anchorsFit = m_anchors.size() <= kMostAnchors &&
                   std::all_of(words.cbegin(), words.cend(),
                               [](const QByteArray& word) { return !word.isEmpty() && word.size() <= 16; });
}

qsizetype ApacheLineReader::findAnchor(QByteArrayView text) const
{
    const char* const s = text.data();
    const qsizetype n = text.size();
    qsizetype i = 0;
#if defined(__SSE2__) && defined(__GNUC__)
    // Sixteen places at a time; only where an anchor's first and last byte fit is it compared, all
    // of it at once.
    const auto load = [](const char* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); };
    const auto anchorAt = [&](const char* at) {
        for (const Anchor& anchor : m_anchors) {
            const __m128i folded = _mm_or_si128(load(at), load(anchor.caseBits));
            const unsigned same = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(folded, load(anchor.padded))));
            if ((same & anchor.whole) == anchor.whole)
                return true;
        }
        return false;
    };
    __m128i firsts[kMostAnchors], lasts[kMostAnchors];
    qsizetype lastAt[kMostAnchors];
    for (size_t a = 0; a < m_anchors.size() && m_anchorsFit; ++a) {
        firsts[a] = _mm_set1_epi8(char(m_anchors[a].lower.front() | 0x20));
        lasts[a] = _mm_set1_epi8(char(m_anchors[a].lower.back() | 0x20));
        lastAt[a] = m_anchors[a].lower.size() - 1;
    }
    const __m128i caseBit = _mm_set1_epi8(0x20);
    // Made for each number of anchors, each anchor's compares written out.
    const auto search = [&](auto count) -> qsizetype {
        // Every load, the last compare's included, stays inside the text.
        for (; i + 31 <= n; i += 16) {
            const __m128i here = _mm_or_si128(load(s + i), caseBit);
            const auto fit = [&](qsizetype a) {
                return _mm_and_si128(
                    _mm_cmpeq_epi8(here, firsts[a]),
                    _mm_cmpeq_epi8(_mm_or_si128(load(s + i + lastAt[a]), caseBit), lasts[a]));
            };
            __m128i fits = fit(0);
            if (count() > 1)
                fits = _mm_or_si128(fits, fit(1));
            if (count() > 2)
                fits = _mm_or_si128(fits, fit(2));
            for (unsigned mask = unsigned(_mm_movemask_epi8(fits)); mask; mask &= mask - 1)
                if (anchorAt(s + i + __builtin_ctz(mask)))
                    return i + __builtin_ctz(mask);
        }
        return -1;
    };
    static_assert(kMostAnchors == 3);
    const qsizetype hit = !m_anchorsFit           ? -1
                          : m_anchors.size() == 1 ? search(std::integral_constant<qsizetype, 1>())
                          : m_anchors.size() == 2 ? search(std::integral_constant<qsizetype, 2>())
                                                  : search(std::integral_constant<qsizetype, 3>());
    if (hit >= 0)
        return hit;
#endif
    // The last places, and all of them without SSE2, one by one.
    for (; i < n; ++i)
        if (std::any_of(m_anchors.cbegin(), m_anchors.cend(), [&](const Anchor& anchor) {
                return i + anchor.lower.size() <= n && SameWordLowered(s + i, anchor.lower);
            }))
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
    for (; n >= 16 && i < n; i += 16) {
        // The last sixteen bytes may overlap those checked: only the bytes from i count, and a CR
        // right before them is among the sixteen.
        const qsizetype at = std::min(i, n - 16);
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + at));
        const unsigned crs = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\r'))));
        const unsigned lfs = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))));
        if ((lfs ^ ((crs << 1) | (at == i ? afterCr : 0))) & (0xffffu << (i - at)) & 0xffff)
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
