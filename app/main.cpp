// SPDX-License-Identifier: MIT
#include "frmmain.h"
#include "notice.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brellimar"));
    QApplication::setApplicationVersion(QStringLiteral(BRELLIMAR_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("org.brellimar.Brellimar"));

    // The interface is Chinese; Qt's own buttons (the message box's OK) should read so too.
    app::InstallQtChineseTranslation();

    QIcon icon;
    for (const int size : {16, 32, 48})
        icon.addFile(QStringLiteral(":/icons/brellimar-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);

    frmMain window;
    window.show();
    return application.exec();
}
