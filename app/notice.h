// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class QWidget;

namespace app {

/** The program's one kind of message: title "提示", information icon, a single OK button. */
void ShowNotice(QWidget* parent, const QString& text);

/** Loads Qt's own Simplified Chinese texts (standard buttons), when they are installed. */
bool InstallQtChineseTranslation();

} // namespace app
