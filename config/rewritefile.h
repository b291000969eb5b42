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
 * Rewrites the file @p path finally names (links followed) with @p plan: read whole, replaced by a
 * temporary file renamed over it with the original's owner, group and mode. When anything fails the
 * old file stays and the reason is given. An empty file, no rules, bytes already as asked: untouched.
 */
RewriteResult RewriteFile(const QString& path, const RewritePlan& plan);

} // namespace config
