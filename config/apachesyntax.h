// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <QUrl>

#include <optional>
#include <utility>

namespace config {

// How Apache reads httpd.conf and what its own program prints, kept in one place.

/** A line as Apache splits it: the directive's name (up to a blank or tab) and its arguments, trimmed. */
std::pair<QString, QString> SplitDirective(const QString& line);

/** True when @p word is the directive @p name: Apache reads names without regard to case. */
inline bool IsDirectiveName(const QString& word, const char* name)
{
    return word.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

/** The first argument of @p text as Apache reads it: quoted (\\ and \<quote> unescaped), or up to a blank. */
QString ApacheArgument(const QString& text);

/** The text between double quotes that Apache reads back as @p folder: \" and escaping backslashes doubled.
 */
QString QuoteForApache(const QString& folder);

/** Apache's same folder: one trailing / or \ ignored, ${VAR} as written; on Windows any case, / and \ alike.
 */
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

/** True for the file-system root: "/", or a drive root such as "C:/" or "C:\". */
bool IsFileSystemRoot(const QString& folder);

/**
 * Where to ask Apache for a page: the first Listen not for https (by protocol, or port 443), a
 * wildcard address or none meaning loopback. Empty when there is none.
 */
QUrl PageAddress(const QStringList& listenArguments);

/** What Apache's own listing of its settings (the output of -S) says, where it says it. */
struct ApacheListing
{
    QString output;
    QString errorLog; ///< "Main ErrorLog"
    QString user;     ///< the account its children run as
};

ApacheListing ReadListing(const QString& output);

/** From Apache's -S listing, "FILE:LINE" of the virtual host answering on @p port; empty: the main server. */
QString VirtualHostOnPort(const QString& listing, int port);

} // namespace config
