// SPDX-License-Identifier: MIT
// Typing into the window as a user would, shared by the GUI tests.
#pragma once

#include <QLineEdit>
#include <QTest>

namespace guiutil {

/** Types @p text into @p widget; characters outside ASCII go as key events with text. */
inline void TypeText(QWidget* widget, const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x80)
            QTest::keyClick(widget, c.toLatin1());
        else // keyClicks cannot type outside ASCII
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

/** Replaces the whole text of @p box by typing, as select-all and delete then the new text. */
inline void Replace(QLineEdit* box, const QString& text)
{
    box->setFocus();
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    TypeText(box, text);
}

} // namespace guiutil
