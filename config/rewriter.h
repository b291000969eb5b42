// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

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
};

/** A value that cannot be written into httpd.conf safely, found before any file is touched. */
struct ValueProblem
{
    enum class Field { DocumentRoot, DirectoryIndex };
    enum class Kind {
        LineBreak, ///< CR, LF or NUL: would start a new configuration line or cut the value short
        Empty, ///< nothing to write (Apache rejects an empty DocumentRoot, serves no index for an empty list)
        NotEncodable, ///< holds a character that the configuration file's code page cannot hold
    };
    Field field;
    Kind kind;

    /** A short English description, for logs and tests. */
    QString describe() const;
};

/** Checks the values before an apply pass writes them; the document root is expected trimmed. */
std::optional<ValueProblem> CheckValues(const QString& documentRoot, const QString& directoryIndex);

/** Outcome of rewriting one file: empty reason means success. */
struct RewriteResult
{
    QString path;   ///< native separators
    QString reason; ///< the system's reason, empty on success

    bool ok() const { return reason.isEmpty(); }
};

/**
 * The text that goes between DocumentRoot's double quotes so that Apache reads back exactly
 * @p folder: a double quote becomes \", and a backslash that Apache would take as an escape (one
 * before another backslash, before a double quote or at the end) is doubled. Ordinary paths come
 * back unchanged.
 */
QString QuoteForApache(const QString& folder);

/** The rules for php.ini: empty when errors are not to be shown (the file is then left alone). */
std::vector<Rule> PhpIniRules(bool showErrors);

/** The rules for httpd.conf, in the order they are tested. */
std::vector<Rule> HttpdConfRules(const QString& documentRoot, const QString& directoryIndex);

/**
 * First word of one raw line of a configuration file, as GetWord sees the line decoded from the
 * system code page. Lines whose first word lies in their ASCII prefix are not decoded at all.
 */
QString FirstWordOfLine(QByteArrayView rawLine);

/**
 * Rewrites @p content line by line: CR LF, a lone CR and a lone LF end a line; a line whose first
 * word matches a rule is replaced by the rule's line, encoded in the system code page; every other
 * line keeps its bytes. Every line is written back followed by CR LF. Returns std::nullopt when a
 * rule's line cannot be encoded. For tests and small inputs; files go through RewriteFile.
 */
std::optional<QByteArray> RewriteContent(QByteArrayView content, const std::vector<Rule>& rules);

/**
 * Rewrites the file at @p path with @p rules, replacing it atomically (a temporary file renamed over
 * it, or in place where the folder takes no temporary file). Permission bits, owner and group are
 * kept where the process may set them; a symbolic link stays a link. A zero-byte file, or an empty
 * rule list, leaves the file untouched.
 */
RewriteResult RewriteFile(const QString& path, const std::vector<Rule>& rules);

/** Sets display_errors = On in the php.ini at @p path when @p showErrors; otherwise touches nothing. */
RewriteResult RewritePhpIni(const QString& path, bool showErrors);

/** Sets the DocumentRoot and DirectoryIndex lines of the httpd.conf at @p path. */
RewriteResult RewriteHttpdConf(const QString& path, const QString& documentRoot,
                               const QString& directoryIndex);

} // namespace config
