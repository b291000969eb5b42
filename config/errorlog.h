// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

namespace config {

/**
 * The files Apache writes its main error log to, as the httpd.conf at @p httpdConf of the
 * installation in @p apacheFolder and the files it includes name them: the file of the last
 * ErrorLog outside a virtual host (a relative one under ServerRoot, or under the Apache folder
 * without one; ${VAR} from Define lines before it, else from the environment), else
 * logs/error.log and logs/error_log there.
 * Empty when the log goes to a program (|...) or to syslog.
 */
QStringList ApacheErrorLogFiles(const QString& apacheFolder, const QString& httpdConf);

} // namespace config
