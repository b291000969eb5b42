// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringConverter>
#include <QStringList>

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

namespace config {

/** The directive names the rewriter knows. */
inline constexpr char kDisplayErrors[] = "display_errors";
inline constexpr char kDocumentRoot[] = "DocumentRoot";
inline constexpr char kDirectoryIndex[] = "DirectoryIndex";

/** One rewrite rule: a line whose first word is @c directive becomes @c line. */
struct Rule
{
    QString directive;
    QString line;
    bool mustMatch = false; ///< a file without such a line leaves the setting unmade: say so
};

/** Everything that changes in one file. */
struct RewritePlan
{
    std::vector<Rule> rules;
    /** The encoding the rule lines (and the folders compared) are written in. */
    QStringConverter::Encoding encoding = QStringConverter::System;
    /** httpd.conf: a line ending in a backslash goes on in the next one, as Apache reads it. */
    bool apacheSyntax = false;
    /** When set, <Directory> sections of a replaced DocumentRoot's folder move to this folder. */
    std::optional<QString> documentRoot;
};

/** A value that cannot be written into httpd.conf safely, found before any file is touched. */
struct ValueProblem
{
    enum class Field { DocumentRoot, DirectoryIndex };
    enum class Kind {
        LineBreak,    ///< CR, LF or NUL: would start a new configuration line or cut the value short
        Empty,        ///< nothing to write (Apache rejects an empty DocumentRoot, serves no index for none)
        NotEncodable, ///< holds a character that the configuration file's code page cannot hold
        TrailingBackslash, ///< would join the next line of httpd.conf to the new one
    };
    Field field;
    Kind kind;
};

/** Checks the values before an apply pass writes them; the document root is expected trimmed. */
std::optional<ValueProblem> CheckValues(const QString& documentRoot, const QString& directoryIndex);

/** The plan for php.ini: no rules when errors are not to be shown (the file is then left alone). */
RewritePlan PhpIniPlan(bool showErrors);

/** The plan for httpd.conf: DocumentRoot (and its access sections), then DirectoryIndex. */
RewritePlan HttpdConfPlan(const QString& documentRoot, const QString& directoryIndex);

/** True when @p start begins with a UTF-16 byte order mark: such a file is not 8-bit text. */
bool StartsAsUtf16(QByteArrayView start);

/**
 * Calls @p onLine for every line of @p buffer that ends in CR LF, a lone CR or a lone LF (without
 * the line end), and, when @p atEnd, for a last line without one. Returns how many bytes were
 * used up; the rest begins a line that the next buffer completes.
 */
template <typename OnLine> qsizetype ForEachLine(QByteArrayView buffer, bool atEnd, OnLine&& onLine)
{
    const char* const begin = buffer.data();
    const char* const end = begin + buffer.size();
    auto find = [end](const char* from, char c) {
        const void* hit = std::memchr(from, c, size_t(end - from));
        return hit ? static_cast<const char*>(hit) : end;
    };
    const char* p = begin;
    // One memchr per kind of line end, redone only once the scan has passed its last hit.
    const char* nextCr = find(p, '\r');
    const char* nextLf = find(p, '\n');
    while (p < end) {
        if (nextCr < p)
            nextCr = find(p, '\r');
        if (nextLf < p)
            nextLf = find(p, '\n');
        const char* eol = std::min(nextCr, nextLf);
        // A CR at the very end may be the first half of a CR LF.
        if (!atEnd && (eol == end || (*eol == '\r' && eol + 1 == end)))
            break;
        onLine(QByteArrayView(p, eol - p));
        if (eol == end)
            return buffer.size();
        p = (*eol == '\r' && eol + 1 < end && eol[1] == '\n') ? eol + 2 : eol + 1;
    }
    return p - begin;
}

/** How much of @p buffer is whole lines: all of it at the end of the file, else up to its last line end. */
inline qsizetype WholeLines(QByteArrayView buffer, bool atEnd)
{
    if (atEnd)
        return buffer.size();
    // A CR at the very end may be the first half of a CR LF.
    qsizetype end = buffer.size() - 1;
    if (end >= 0 && buffer[end] == '\r')
        --end;
    while (end >= 0 && buffer[end] != '\n' && buffer[end] != '\r')
        --end;
    return end + 1;
}

/**
 * The line engine: decides line by line what a file becomes. Where access sections move, the
 * whole file goes through scan() first, then line by line through rewrite() from the start again.
 */
class LineRewriter
{
  public:
    /** std::nullopt when a rule's line cannot be written in the plan's encoding. */
    static std::optional<LineRewriter> Create(const RewritePlan& plan);

    /** Whether the file must be read once through scan() before rewrite(). */
    bool needsScan() const { return m_moveSections; }
    /**
     * First pass, over whole lines (a block of the file that ends with a line end, or the file's
     * end): notes the folders of the DocumentRoot lines that will be replaced.
     */
    void scan(QByteArrayView lines);
    /**
     * Second pass: what @p line becomes (without its line end), or nothing when it goes with the
     * replaced line before it. A returned view lives until the next call.
     */
    std::optional<QByteArrayView> rewrite(QByteArrayView line);
    /** Directives that had to be set but had no line to replace. */
    QStringList unmatched() const;

  private:
    struct EncodedRule
    {
        QString directive;
        QByteArray directiveBytes;
        QByteArray line;
        bool mustMatch = false;
        int replaced = 0;
    };
    LineRewriter() = default;
    EncodedRule* matchingRule(QByteArrayView line);
    void scanLine(QByteArrayView line);
    void noteOldFolder(QByteArrayView logicalLine);
    bool movedSection(QByteArrayView line);

    std::vector<EncodedRule> m_rules;
    QStringConverter::Encoding m_encoding = QStringConverter::System;
    bool m_apacheSyntax = false;
    bool m_moveSections = false;
    QByteArray m_sectionOpening; ///< <Directory "NEW">
    QStringList m_oldFolders;

    bool m_scanContinued = false;
    bool m_scanJoining = false;
    QByteArray m_scanJoined;
    bool m_continued = false;  ///< the line before goes on into this one
    bool m_swallowing = false; ///< ... and it was replaced: this line goes with it
    QByteArray m_composed;
};

/**
 * Rewrites @p content whole (for tests and small inputs; files go through RewriteFile). Returns
 * std::nullopt when a rule's line cannot be encoded or the content is UTF-16; @p unmatched, when
 * given, receives the directives that had no line to replace.
 */
std::optional<QByteArray> RewriteContent(QByteArrayView content, const RewritePlan& plan,
                                         QStringList* unmatched = nullptr);

} // namespace config
