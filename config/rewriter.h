// SPDX-License-Identifier: MIT
#pragma once

#include "apachelines.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringConverter>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

namespace config {

/** The directive names the rewriter knows. */
inline constexpr char kDisplayErrors[] = "display_errors";
inline constexpr char kDocumentRoot[] = "DocumentRoot";
inline constexpr char kDirectoryIndex[] = "DirectoryIndex";

/**
 * One rewrite rule: a line whose first word is @c directive becomes @c line; in a plan with
 * Apache's syntax the word in any ASCII case, as Apache reads directive names.
 */
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
    /**
     * httpd.conf: directive names in any ASCII case, and a line ending in a backslash goes on in
     * the next one, as Apache reads them.
     */
    bool apacheSyntax = false;
    /** When set, <Directory> sections of a replaced DocumentRoot's folder move to this folder. */
    std::optional<QString> documentRoot;
    /**
     * Lines written right after each replaced DocumentRoot line, behind that line's indentation; a
     * leading tab stands for one level more (a tab where that indentation ends in one, else four blanks).
     */
    QStringList afterDocumentRoot;
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

/**
 * The plan for httpd.conf: DocumentRoot (and its access sections), then DirectoryIndex; @p afterDocumentRoot
 * as RootAccess::linesFor gives them.
 */
RewritePlan HttpdConfPlan(const QString& documentRoot, const QString& directoryIndex,
                          const QStringList& afterDocumentRoot = {});

/** True when @p start begins with a UTF-16 byte order mark: such a file is not 8-bit text. */
bool StartsAsUtf16(QByteArrayView start);

/**
 * The line engine: decides line by line what a file becomes. One pass reads the input once, looks
 * only at the lines that hold a name it may change, and copies the lines between as they stand.
 */
class LineRewriter
{
  public:
    /** std::nullopt when a rule's line cannot be written in the plan's encoding. */
    static std::optional<LineRewriter> Create(const RewritePlan& plan);

    /**
     * Hands the input from its start to the callback, piece by piece, while the callback returns
     * true; returns why the input could not be read, empty when it could.
     */
    using Source = std::function<QString(const std::function<bool(QByteArrayView)>&)>;
    /** Takes the output, piece by piece. */
    using Sink = std::function<void(QByteArrayView)>;

    struct Pass
    {
        QString readError;
        /**
         * The output is void and needs a second pass into a new sink: a <Directory> section came
         * before the DocumentRoot line naming its folder. The second pass, on the same input, never
         * asks again.
         */
        bool again = false;
    };
    /** Rewrites the whole input from @p source into @p sink. */
    Pass pass(const Source& source, const Sink& sink);

    /** Directives that had to be set but had no live line to replace (commented-out ones do not count). */
    QStringList unmatched() const;

  private:
    struct EncodedRule
    {
        QString directive;
        QByteArray directiveBytes;
        QByteArray line;
        bool mustMatch = false;
        bool documentRoot = false;
        int replaced = 0;
    };
    LineRewriter() = default;
    EncodedRule* matchingRule(QByteArrayView line);
    std::optional<QByteArrayView> rewrite(QByteArrayView line);
    bool noteFolder(QByteArrayView logicalLine, QStringList& folders) const;
    bool movedSection(QByteArrayView line);
    bool sectionBeforeItsRoot(const Source& source);
    QByteArrayView withLinesAfter(const QByteArray& replacement, QByteArrayView line);

    std::vector<EncodedRule> m_rules;
    QByteArrayList m_anchors; ///< a line without one of these words stays as it is
    QStringConverter::Encoding m_encoding = QStringConverter::System;
    bool m_apacheSyntax = false;
    bool m_moveSections = false;
    QByteArray m_sectionOpening; ///< <Directory "NEW">
    QByteArrayList m_afterRoot;
    QStringList m_oldFolders; ///< of the DocumentRoot lines replaced

    bool m_continued = false;  ///< the line before goes on into this one
    bool m_swallowing = false; ///< ... and it was replaced: this line goes with it
    bool m_noting = false;     ///< ... and it named a folder, read on in m_rootLine
    QByteArray m_rootLine;
    bool m_sectionPassed = false; ///< a section of a folder not (yet) noted went by unmoved
    bool m_lateFolder = false;    ///< a folder was noted after that: the section may have been its
    QByteArray m_composed;
};

/**
 * Rewrites content handed over in @p pieces (for tests and small inputs; files go through
 * RewriteFile). Returns std::nullopt when a rule's line cannot be encoded or the content is UTF-16;
 * @p unmatched, when given, receives the directives that had no line to replace, @p reads how many
 * times the content was read from its start.
 */
std::optional<QByteArray> RewriteContent(const QByteArrayList& pieces, const RewritePlan& plan,
                                         QStringList* unmatched = nullptr, int* reads = nullptr);

} // namespace config
