// SPDX-License-Identifier: MIT
#include "notice.h"

#include <QMessageBox>

namespace app {

void ShowNotice(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Information, QStringLiteral("提示"), text, QMessageBox::Ok, parent);
    box.exec();
}

} // namespace app
