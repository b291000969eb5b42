// SPDX-License-Identifier: MIT
#include "defaults.h"

namespace platform {

QString DefaultDocumentRoot()
{
    return QStringLiteral("/var/www/Myphp");
}

} // namespace platform
