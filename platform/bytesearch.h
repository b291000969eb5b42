// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArrayView>

namespace platform {

/** Position of the first @p needle in @p haystack at or after @p from, or -1; as fast as the C library
 * allows. */
qsizetype FindBytes(QByteArrayView haystack, QByteArrayView needle, qsizetype from);

} // namespace platform
