// SPDX-License-Identifier: MIT
#include "defaults.h"

namespace platform {

QString DefaultDocumentRoot()
{
    return QStringLiteral("E:\\Myphp");
}

QString DefaultApacheFolder()
{
    // Where the Apache 2 installer puts it.
    return QStringLiteral("C:\\Program Files\\Apache Group\\Apache2");
}

QString PhpIniSuffix()
{
    return QStringLiteral("\\php.ini");
}

QString HttpdConfSuffix()
{
    return QStringLiteral("\\conf\\httpd.conf");
}

} // namespace platform
