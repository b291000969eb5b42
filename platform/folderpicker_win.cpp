// SPDX-License-Identifier: MIT
#include "folderpicker.h"

#include "win/native_win.h"

#include <QWidget>

namespace mdlBrowseFounder {

QString BrowseForFolder(QWidget* owner, const QString& title)
{
    void* handle = owner ? reinterpret_cast<void*>(owner->window()->winId()) : nullptr;
    return QString::fromStdWString(platform::win::BrowseForFolder(handle, title.toStdWString()));
}

} // namespace mdlBrowseFounder
