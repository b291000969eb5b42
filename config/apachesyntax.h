// SPDX-License-Identifier: MIT
#pragma once

#include <QRegularExpression>
#include <QString>
#include <QStringView>

#include <optional>
#include <utility>

namespace config {

// How Apache reads httpd.conf, kept in one place.

/** A line as Apache splits it: the directive's name (up to a blank or tab) and its arguments, trimmed. */
std::pair<QString, QString> SplitDirective(const QString& line);

/** True when @p word is the directive @p name: Apache reads names without regard to case. */
inline bool IsDirectiveName(const QString& word, const char* name)
{
    return word.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

/** The first argument of @p text as Apache reads it: quoted (\\ and \<quote> unescaped), or up to a blank. */
QString ApacheArgument(const QString& text);

/** What Apache reads back as @p folder between double quotes: " and an escaping backslash escaped. */
QString QuoteForApache(const QString& folder);

/** Apache's same folder: one trailing / or \ ignored, ${VAR} as written; Windows: any case, / and \ alike. */
bool SameApacheFolder(QStringView a, QStringView b);

/** True when @p folder is @p parent itself or lies below it, compared as SameApacheFolder compares. */
bool ApacheFolderHolds(QStringView parent, QStringView folder);

struct DirectoryOpening
{
    qsizetype indent = 0; ///< the blanks before "<Directory"
    qsizetype close = 0;  ///< where the ">" that ends it is; anything after it stays
    QString folder;       ///< as Apache reads it: unquoted, unescaped
};

/** @p line as a <Directory> opening (blanks, "<Directory" in any case, the folder, ">"); nothing if none. */
std::optional<DirectoryOpening> ReadDirectoryOpening(QStringView line);

/** A file-name wildcard (*, ?, [...]) matching names as the system compares them: on Windows in any case. */
QRegularExpression FileNamePattern(const QString& wildcard);

/** True for the file-system root: "/", or a drive root such as "C:/" or "C:\". */
bool IsFileSystemRoot(const QString& folder);

} // namespace config
