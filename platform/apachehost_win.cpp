// SPDX-License-Identifier: MIT
#include "apachehost.h"

namespace platform {

QStringConverter::Encoding ApacheFolderEncoding()
{
    return QStringConverter::Utf8;
}

bool FileNamesLikeWindows()
{
    return true;
}

} // namespace platform
