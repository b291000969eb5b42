// SPDX-License-Identifier: MIT
#include "folderpicker.h"

#include <QFileDialog>

namespace mdlBrowseFounder {

QString BrowseForFolder(QWidget* owner, const QString& title)
{
    const QString folder =
        QFileDialog::getExistingDirectory(owner, title, QString(), QFileDialog::ShowDirsOnly);
    return folder.isNull() ? QString() : QDir::toNativeSeparators(folder);
}

} // namespace mdlBrowseFounder
