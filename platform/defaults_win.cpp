// SPDX-License-Identifier: MIT
#include "defaults.h"

namespace platform {

QString DefaultDocumentRoot()
{
    return QStringLiteral("E:\\Myphp");
}

} // namespace platform
