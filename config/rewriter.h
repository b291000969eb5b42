// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringConverter>
#include <QStringList>

#include <optional>
#include <vector>

namespace config {

inline constexpr char kDocumentRoot[] = "DocumentRoot";
inline constexpr char kDirectoryIndex[] = "DirectoryIndex";

/** A line whose first word is @c directive (any ASCII case in Apache's syntax) becomes @c line. */
struct Rule
{
    QString directive;
    QString line;
    bool mustMatch = false; ///< a file without such a line leaves the setting unmade: say so
};

struct RewritePlan
{
    std::vector<Rule> rules;
    QStringConverter::Encoding encoding = QStringConverter::System;
    /** httpd.conf: names in any ASCII case, and a line ending in a backslash goes on in the next. */
    bool apacheSyntax = false;
    /** When set, <Directory> sections of a replaced DocumentRoot's folder move to this folder. */
    std::optional<QString> documentRoot;
    /** Written after the first replaced DocumentRoot of the main server and of each virtual host, behind
     * its indentation; a leading tab is one level more (a tab after a tab, else four blanks). */
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

/** The plan for httpd.conf: DocumentRoot (its sections moving along), DirectoryIndex. */
RewritePlan HttpdConfPlan(const QString& documentRoot, const QString& directoryIndex,
                          const QStringList& afterDocumentRoot = {});

/**
 * @p content under @p plan: each line a rule names replaced whole (continuation lines with it), the
 * <Directory> openings of a replaced DocumentRoot's folder moved to the new one, every other line
 * kept, each followed by CR LF. Nothing when a line cannot be encoded in the plan's encoding;
 * @p unmatched gets the directives that had no line.
 */
std::optional<QByteArray> RewriteContent(QByteArrayView content, const RewritePlan& plan,
                                         QStringList* unmatched = nullptr);

} // namespace config
