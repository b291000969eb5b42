// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class QWidget;

namespace mdlBrowseFounder {

/**
 * Shows the system's folder dialog, modal to @p owner, with @p title. Returns the confirmed
 * folder's full path as the system reports it, or an empty string on cancel.
 */
QString BrowseForFolder(QWidget* owner, const QString& title);

} // namespace mdlBrowseFounder
