// SPDX-License-Identifier: MIT
#pragma once

#include <QStringConverter>

namespace platform {

/**
 * The encoding Apache reads folder names in httpd.conf in: UTF-8 on Windows (Apache 2 treats
 * every file name there as Unicode in UTF-8), the system code page elsewhere.
 */
QStringConverter::Encoding ApacheFolderEncoding();

/** True where file names ignore case and / and \ are both separators (Windows). */
bool FileNamesLikeWindows();

} // namespace platform
