// SPDX-License-Identifier: MIT
#include "apachehost.h"

namespace platform {

QStringConverter::Encoding ApacheFolderEncoding()
{
    return QStringConverter::System;
}

bool FileNamesLikeWindows()
{
    return false;
}

} // namespace platform
