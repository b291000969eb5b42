// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

/** The folders the window starts with, as this system lays them out. */
namespace platform {

/** The document root the window starts with. */
QString DefaultDocumentRoot();

/** The Apache installation folder the window starts with. */
QString DefaultApacheFolder();

} // namespace platform
