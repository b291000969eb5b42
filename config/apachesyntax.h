// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QUrl>

#include <optional>
#include <utility>

namespace config {

/**
 * How Apache reads a value in httpd.conf, kept in one place: quoting, unquoting and comparing
 * folders.
 */

/**
 * A configuration line as Apache splits it: the directive's name (the first word, up to a blank or
 * tab) and its arguments, both without the blanks around them.
 */
std::pair<QString, QString> SplitDirective(const QString& line);

/** True when @p word is the directive @p name: Apache reads names without regard to case. */
inline bool IsDirectiveName(const QString& word, QLatin1String name)
{
    return word.compare(name, Qt::CaseInsensitive) == 0;
}

/**
 * The first argument of @p text as Apache reads it (leading blanks skipped): inside double or
 * single quotes, \\ and \<quote> are unescaped and the value ends at the closing quote; unquoted,
 * it ends at the first blank or tab. Empty when there is none.
 */
QString ApacheArgument(const QString& text);

/**
 * The text that goes between double quotes so that Apache reads back exactly @p folder: a double
 * quote becomes \", and a backslash that Apache would take as an escape (one before another
 * backslash, before a double quote or at the end) is doubled. Ordinary paths come back unchanged.
 */
QString QuoteForApache(const QString& folder);

/**
 * True when Apache would take @p a and @p b for the same folder: one trailing / or \ ignored,
 * ${VAR} compared as written; on Windows without regard to case and with / and \ alike.
 */
bool SameApacheFolder(QStringView a, QStringView b);

/** True when @p folder is @p parent itself or lies below it, compared as SameApacheFolder compares. */
bool ApacheFolderHolds(QStringView parent, QStringView folder);

/** A <Directory> section's opening line as Apache reads it. */
struct DirectoryOpening
{
    qsizetype indent = 0; ///< the blanks before "<Directory"
    qsizetype close = 0;  ///< where the ">" that ends it is; anything after it stays
    QString folder;       ///< as Apache reads it: unquoted, unescaped
};

/**
 * @p line read as a <Directory> opening: blanks, "<Directory" in any ASCII case, a blank, the
 * folder (quoted or not), ">". Nothing when it is none (<DirectoryMatch>, a comment, no ">").
 */
std::optional<DirectoryOpening> ReadDirectoryOpening(QStringView line);

/** True for the file-system root: "/", or a drive root such as "C:/" or "C:\". */
bool IsFileSystemRoot(const QString& folder);

/**
 * Where to ask Apache for a page, from its Listen lines' arguments in the order it reads them:
 * the first that is not for https (by its protocol, or port 443 without one), with a wildcard
 * address or none meaning this machine's loopback address. Empty when there is none.
 */
QUrl PageAddress(const QStringList& listenArguments);

/** What Apache's own listing of its settings (the output of -S) says, where it says it. */
struct ApacheListing
{
    QString output;   ///< the listing itself
    QString errorLog; ///< "Main ErrorLog"
    QString user;     ///< the account its children run as
};

ApacheListing ReadListing(const QString& output);

/**
 * From Apache's own listing of its virtual hosts (the output of -S), the one that answers
 * requests on @p port (its default server): "FILE:LINE" as Apache gives it, or empty when no
 * virtual host listens there and the main server answers.
 */
QString VirtualHostOnPort(const QString& listing, int port);

} // namespace config
