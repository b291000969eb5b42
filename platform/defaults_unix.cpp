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

} // namespace platform
