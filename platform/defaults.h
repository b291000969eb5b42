// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

/** The folders and file names the window starts with, as this system lays them out. */
namespace platform {

/** The document root the window starts with. */
QString DefaultDocumentRoot();

/** The Apache installation folder the window starts with. */
QString DefaultApacheFolder();

/** Appended to the Apache folder as typed to name php.ini (separator included). */
QString PhpIniSuffix();

/** Appended to the Apache folder as typed to name httpd.conf (separator included). */
QString HttpdConfSuffix();

} // namespace platform
