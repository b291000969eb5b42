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

} // namespace platform
