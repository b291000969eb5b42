// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

/** The folders the window starts with, as this system lays them out. */
namespace platform {

/** The document root the window starts with. */
QString DefaultDocumentRoot();

} // namespace platform
