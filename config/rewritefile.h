// SPDX-License-Identifier: MIT
#pragma once

#include "rewriter.h"

#include <QString>
#include <QStringList>

namespace config {

/** Outcome of rewriting one file: empty reason means success. */
struct RewriteResult
{
    QString path;       ///< native separators
    QString reason;     ///< why the file could not be rewritten; empty on success
    QStringList notSet; ///< directives that had to be set but had no line to replace

    bool ok() const { return reason.isEmpty(); }
};

/**
 * Rewrites the file at @p path with @p plan. The file that the path finally names (links followed)
 * is read in bounded chunks and replaced by a temporary file renamed over it, which gets the
 * original's owner, group and exact permission bits where the process may set them; a link
 * stays a link. Anything but a regular file, a UTF-16 file, a failed or short write, a folder
 * that takes no temporary file: the old file stays and the reason is given. A zero-byte file, or a
 * plan without rules, leaves the file untouched.
 */
RewriteResult RewriteFile(const QString& path, const RewritePlan& plan);

/** Sets display_errors = On in the php.ini at @p path when @p showErrors; otherwise touches nothing. */
RewriteResult RewritePhpIni(const QString& path, bool showErrors);

/**
 * Sets the DocumentRoot (with its access sections, @p afterDocumentRoot added after it) and
 * DirectoryIndex lines of the httpd.conf at @p path.
 */
RewriteResult RewriteHttpdConf(const QString& path, const QString& documentRoot,
                               const QString& directoryIndex, const QStringList& afterDocumentRoot = {});

} // namespace config
