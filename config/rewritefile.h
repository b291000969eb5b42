// SPDX-License-Identifier: MIT
#pragma once

#include "rewriter.h"

#include <QString>
#include <QStringList>

namespace config {

struct RewriteResult
{
    QString path;         ///< native separators
    QString reason;       ///< why the file could not be rewritten; empty on success
    QStringList notSet;   ///< directives that had to be set but had no line to replace
    bool changed = false; ///< the file's bytes are not what they were

    bool ok() const { return reason.isEmpty(); }
};

/**
 * Rewrites the file at @p path with @p plan. The file the path finally names (links followed) is
 * read whole and replaced by a temporary file renamed over it, with the original's owner, group
 * and permission bits where the process may set them. Anything but a regular file, a UTF-16 file,
 * a failed or short write, a folder that takes no temporary file: the old file stays and the reason
 * is given. A zero-byte file, or a plan without rules, is left untouched.
 */
RewriteResult RewriteFile(const QString& path, const RewritePlan& plan);

} // namespace config
