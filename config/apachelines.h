// SPDX-License-Identifier: MIT
#pragma once

#include "apachesyntax.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QString>

#include <algorithm>
#include <functional>
#include <memory>
#include <type_traits>
#include <vector>

#if defined(__SSE2__) && defined(__GNUC__)
#include <emmintrin.h>
#endif

namespace config {

/** One line of Apache's configuration as Apache reads it. */
struct ApacheLine
{
    /** Without its line end; the lines it continues into joined to it, each joining backslash dropped. */
    QByteArrayView text;
    /** How much of @c text its first physical line holds. */
    qsizetype firstLength = 0;
    /** The file's line number (from 1) of its first physical line; 0 in a reader that searches. */
    qint64 number = 0;
    /** A physical line whose CR LF follows @c text in the same memory: the two may be copied as one. */
    bool crLfFollows = false;
};

/**
 * Splits bytes fed in pieces of any size into lines: CR LF, a lone CR and a lone LF each end a line,
 * and a last line needs none. With Continuations::Join a line that ends in a single backslash goes on
 * in the next one, as Apache reads its configuration; with Continuations::Keep every physical line
 * stands alone (log files). Memory holds one line at most, whatever the size of the input.
 */
class ApacheLineReader
{
  public:
    enum class Continuations { Join, Keep };

    explicit ApacheLineReader(Continuations continuations = Continuations::Join)
        : m_join(continuations == Continuations::Join)
    {
    }

    /**
     * Gives only the lines whose first physical line holds one of @p words in any ASCII case, as
     * Apache reads directive names; found by searching each piece rather than line by line, the
     * lines between passed over unread. With Continuations::Keep the line after a given line that
     * ends in a backslash is given too, and so is a last line without a line end, whatever they
     * hold: a rewrite sees every line that may change and everything that decides it.
     */
    void onlyLinesWith(const QByteArrayList& words);

    /**
     * Calls @p onLine with each line that @p piece completes; in a reader that searches,
     * @p onPassed(lines, lastContinues) with each run of whole lines passed over, as they stand, with
     * their line ends (a last lone CR may have its LF at the start of the next piece); the view
     * lives until the call returns.
     */
    template <typename OnLine, typename OnPassed>
    void feed(QByteArrayView piece, OnLine&& onLine, OnPassed&& onPassed);
    template <typename OnLine> void feed(QByteArrayView piece, OnLine&& onLine)
    {
        feed(piece, onLine, [](QByteArrayView, bool) {});
    }

    /** The input has ended: calls @p onLine with the line still open, if any, and starts afresh. */
    template <typename OnLine> void finish(OnLine&& onLine);

  private:
    // The first line end at or after @p from, or @p end: sixteen bytes at a time where SSE2 is.
    static const char* lineEnd(const char* from, const char* end)
    {
#if defined(__SSE2__) && defined(__GNUC__)
        const __m128i cr = _mm_set1_epi8('\r');
        const __m128i lf = _mm_set1_epi8('\n');
        for (; end - from >= 16; from += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
            const int mask =
                _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, cr), _mm_cmpeq_epi8(bytes, lf)));
            if (mask)
                return from + __builtin_ctz(unsigned(mask));
        }
#endif
        while (from < end && *from != '\r' && *from != '\n')
            ++from;
        return from;
    }

    // Past the line end at @p eol; a CR that ends the piece may be the first half of a CR LF.
    const char* pastLineEnd(const char* eol, const char* end)
    {
        if (*eol != '\r')
            return eol + 1;
        if (eol + 1 == end) {
            m_afterCr = true;
            return end;
        }
        return eol[1] == '\n' ? eol + 2 : eol + 1;
    }

    bool continues(QByteArrayView line) const
    {
        return m_join && ContinuesOnNextLine(line);
    }

    struct Candidate
    {
        const char* line;     ///< where the line holding an anchor starts, or the line still open (kept)
        bool found;           ///< false: no anchor in the piece's whole lines
        bool passedContinues; ///< the last line passed over ends in a continuation
    };
    Candidate nextCandidate(const char* from, const char* end);
    qsizetype findAnchor(QByteArrayView text) const;

    template <typename OnLine>
    void physical(QByteArrayView line, bool holdsAnchor, bool crLfFollows, OnLine& onLine);

    struct Anchor
    {
        QByteArray lower;
        char padded[16] = {};   ///< lower, then zeros, when it fits
        char caseBits[16] = {}; ///< 0x20 under each letter: OR'ed in, a letter in any case reads as lower
        unsigned whole = 0;     ///< the bits of its bytes in a 16-byte compare
    };

    static constexpr size_t kMostAnchors = 3;

    bool m_join;
    std::vector<Anchor> m_anchors;
    bool m_anchorsFit = false; ///< a few anchors, none over 16 bytes: searched 16 places at a time
    QByteArray m_open;         ///< the start of a line that a later piece completes
    bool m_afterCr = false;    ///< the last piece ended in CR: an LF first in the next belongs to it
    bool m_joining = false;    ///< m_joined goes on in the next line
    bool m_dropping = false;   ///< the line goes on from a line passed over: not given either
    bool m_follow = false;     ///< Keep: the line given last goes on in the next, which is given too
    QByteArray m_joined;
    qsizetype m_firstLength = 0;
    qint64 m_number = 0; ///< physical lines read
    qint64 m_start = 0;  ///< the number of m_joined's first line
};

template <typename OnLine, typename OnPassed>
void ApacheLineReader::feed(QByteArrayView piece, OnLine&& onLine, OnPassed&& onPassed)
{
    const char* p = piece.data();
    const char* const end = p + piece.size();
    if (p == end)
        return;
    if (std::exchange(m_afterCr, false) && *p == '\n')
        ++p;
    if (!m_open.isEmpty()) {
        const char* eol = lineEnd(p, end);
        m_open.append(p, eol - p);
        if (eol == end)
            return;
        const char* next = pastLineEnd(eol, end);
        if (!m_join && !m_anchors.empty() && !m_follow && findAnchor(m_open) < 0) {
            // Passed over like the whole lines around it, with its own line end.
            const bool continues = ContinuesOnNextLine(m_open);
            m_open.append(eol, next - eol);
            onPassed(QByteArrayView(m_open), continues);
        } else {
            physical(m_open, !m_join, false, onLine);
        }
        m_open.resize(0);
        p = next;
    }
    while (p < end) {
        const bool searched = !m_anchors.empty() && !m_joining && !m_dropping && !m_follow;
        if (searched) {
            const Candidate next = nextCandidate(p, end);
            if (next.line > p)
                onPassed(QByteArrayView(p, next.line), next.passedContinues);
            if (!next.found)
                return;
            p = next.line;
        }
        const char* eol = lineEnd(p, end);
        if (eol == end) {
            m_open.append(p, end - p);
            return;
        }
        const char* next = pastLineEnd(eol, end);
        physical(QByteArrayView(p, eol), searched || m_follow, next == eol + 2, onLine);
        p = next;
    }
}

template <typename OnLine> void ApacheLineReader::finish(OnLine&& onLine)
{
    if (!m_open.isEmpty())
        physical(m_open, !m_join, false, onLine);
    // A file that ends in a continuation ends the line there.
    if (m_joining)
        onLine(ApacheLine{m_joined, m_firstLength, m_anchors.empty() ? m_start : 0});
    m_open.resize(0);
    m_afterCr = m_joining = m_dropping = m_follow = false;
    m_number = 0;
}

template <typename OnLine>
void ApacheLineReader::physical(QByteArrayView line, bool holdsAnchor, bool crLfFollows, OnLine& onLine)
{
    ++m_number;
    const bool goesOn = continues(line);
    if (m_joining) {
        m_joined.append(goesOn ? line.chopped(1) : line);
        m_joining = goesOn;
        if (!goesOn)
            onLine(ApacheLine{m_joined, m_firstLength, m_anchors.empty() ? m_start : 0});
        return;
    }
    if (m_dropping || (!holdsAnchor && !m_anchors.empty() && findAnchor(line) < 0)) {
        m_dropping = goesOn;
        return;
    }
    m_follow = !m_join && !m_anchors.empty() && ContinuesOnNextLine(line);
    const qint64 number = m_anchors.empty() ? m_number : 0;
    if (!goesOn) {
        onLine(ApacheLine{line, line.size(), number, crLfFollows});
        return;
    }
    m_joined = line.chopped(1).toByteArray();
    m_firstLength = m_joined.size();
    m_start = number;
    m_joining = true;
}

/**
 * True when every line end in @p text is a CR LF; a last CR counts as one whose LF comes next. Such
 * text is already written as a rewrite writes lines.
 */
bool OnlyCrLfLineEnds(QByteArrayView text);

/** The size of the pieces a file is read in: a line longer than that is held whole. */
inline constexpr qsizetype kLinePiece = 1 << 20;

/**
 * Hands @p onPiece the first @p size bytes of the open @p file from its start (fewer when it shrank
 * meanwhile) in pieces of at most kLinePiece; an @p onPiece that returns a bool stops the reading
 * with false. Returns the read error, if any.
 */
template <typename OnPiece> QString ReadPieces(QFile& file, qint64 size, OnPiece&& onPiece)
{
    constexpr bool mayStop = std::is_same_v<std::invoke_result_t<OnPiece, QByteArrayView>, bool>;
    if (!file.seek(0))
        return file.errorString();
    const qsizetype pieceSize = qsizetype(std::clamp<qint64>(size, 1, kLinePiece));
    const std::unique_ptr<char[]> piece(new char[size_t(pieceSize)]);
    for (qint64 remaining = size; remaining > 0;) {
        const qint64 got = file.read(piece.get(), std::min<qint64>(pieceSize, remaining));
        if (got < 0)
            return file.errorString();
        if (got == 0)
            break;
        remaining -= got;
        if constexpr (mayStop) {
            if (!onPiece(QByteArrayView(piece.get(), qsizetype(got))))
                break;
        } else {
            onPiece(QByteArrayView(piece.get(), qsizetype(got)));
        }
    }
    return {};
}

/** ReadPieces() through @p reader, finished at the end. */
template <typename OnLine>
QString ReadLines(QFile& file, qint64 size, ApacheLineReader& reader, OnLine&& onLine)
{
    const QString error = ReadPieces(file, size, [&](QByteArrayView piece) { reader.feed(piece, onLine); });
    if (error.isEmpty())
        reader.finish(onLine);
    return error;
}

/**
 * Reads the file at @p path through @p reader: only a regular file (never blocking on a FIFO or a
 * device put in its place), and never more than its size when opened. Returns why it could not be
 * read; empty when it was.
 */
QString ReadApacheLines(const QString& path, ApacheLineReader& reader,
                        const std::function<void(const ApacheLine&)>& onLine);

} // namespace config
