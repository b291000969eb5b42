// SPDX-License-Identifier: MIT
#pragma once

#include "applypass.h"

#include <QString>

namespace app {

/** The notice that ends an apply pass, composed from what the pass reports. */
QString ComposeMessage(const PassReport& report);

} // namespace app
