// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class QWidget;

namespace app {

/** The program's one kind of message: title "提示", information icon, a single OK button. */
void ShowNotice(QWidget* parent, const QString& text);

} // namespace app
