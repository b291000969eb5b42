// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringConverter>
#include <QStringList>

#include <vector>

namespace platform {

/**
 * The encoding Apache reads folder names in httpd.conf in: UTF-8 on Windows (Apache 2 treats
 * every file name there as Unicode in UTF-8), the system code page elsewhere.
 */
QStringConverter::Encoding ApacheFolderEncoding();

/** A folder where Apache is usually installed, and what shows that it is there. */
struct ApacheFolderCandidate
{
    QString folder; ///< a * in its last name (apache2.4.*): of the folders matching, the highest version
    QStringList evidence; ///< files of which one must exist too; none: the folder existing is enough
};

/** The folders where Apache is usually installed, in the order they are tried: the first there wins. */
std::vector<ApacheFolderCandidate> ApacheFolderCandidates();

/** The Apache folder the window starts with when none of the candidates is there. */
QString ApacheFolderWhenNone();

/**
 * Debian's apache2ctl, which runs Apache on a Debian-style configuration folder given as
 * APACHE_CONFDIR; empty where there is none.
 */
QString DebianApacheControl();

/** Where Debian's PHP keeps one folder per version (its apache2/php.ini inside); empty elsewhere. */
QString DebianPhpFolder();

/** Where Fedora's PHP-FPM keeps its pool files (/etc/php-fpm.d); empty elsewhere. */
QString FedoraPhpFpmPoolFolder();

/** Where packaged programs are installed (/usr/sbin: php-fpm8.2, php-fpm, Fedora's httpd); empty on Windows.
 */
QString PackageProgramFolder();

/** Apache's program under its installation folder, as this system's builds place it, most likely first. */
QStringList ApacheProgramCandidates();

/**
 * The first folder on the way to @p folder (itself included) that the account Apache's children
 * run as cannot enter (no search permission): @p user where the process may switch to it (root),
 * else the current account. Empty when every one can be entered or it cannot be told (Windows).
 */
QString FirstFolderClosedTo(const QString& folder, const QString& user);

/** True where file names ignore case and / and \ are both separators (Windows). */
bool FileNamesLikeWindows();

} // namespace platform
