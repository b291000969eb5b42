// SPDX-License-Identifier: MIT
#include "defaults.h"

namespace platform {

QString DefaultDocumentRoot()
{
    return QStringLiteral("/var/www/Myphp");
}

QString DefaultApacheFolder()
{
    // Where Apache installs itself when built from source.
    return QStringLiteral("/usr/local/apache2");
}

QString PhpIniSuffix()
{
    return QStringLiteral("/php.ini");
}

QString HttpdConfSuffix()
{
    return QStringLiteral("/conf/httpd.conf");
}

} // namespace platform
