// SPDX-License-Identifier: MIT
#include "frmmain.h"
#include "notice.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brellimar"));
    QApplication::setApplicationVersion(QStringLiteral(BRELLIMAR_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("org.brellimar.Brellimar"));

    // The interface is Chinese; Qt's own buttons (the message box's OK) should read so too.
    app::InstallQtChineseTranslation();

    frmMain window;
    window.show();
    return application.exec();
}
