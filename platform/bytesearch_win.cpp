// SPDX-License-Identifier: MIT
#include "bytesearch.h"

namespace platform {

// The Windows C library has no memmem.
qsizetype FindBytes(QByteArrayView haystack, QByteArrayView needle, qsizetype from)
{
    return haystack.indexOf(needle, from);
}

} // namespace platform
