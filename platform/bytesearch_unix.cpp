// SPDX-License-Identifier: MIT
#include "bytesearch.h"

#include <cstring>

namespace platform {

qsizetype FindBytes(QByteArrayView haystack, QByteArrayView needle, qsizetype from)
{
    // memmem scans several bytes at a time: a configuration file's scan is bound by it.
    const void* hit = ::memmem(haystack.data() + from, size_t(haystack.size() - from), needle.data(),
                               size_t(needle.size()));
    return hit ? static_cast<const char*>(hit) - haystack.data() : -1;
}

} // namespace platform
