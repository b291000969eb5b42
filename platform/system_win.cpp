// SPDX-License-Identifier: MIT
#include "system.h"

#include <QDir>

namespace platform {

bool UsesNetCommand()
{
    return true;
}

QString NetProgram()
{
    // A program running as administrator must not pick up a net.exe planted in its own or the
    // current folder, where CreateProcess looks before System32.
    QString root = qEnvironmentVariable("SystemRoot");
    if (root.isEmpty())
        root = QStringLiteral("C:\\Windows");
    return QDir::toNativeSeparators(QDir(root).filePath(QStringLiteral("System32/net.exe")));
}

QString ProgramToStart(const QString& program)
{
    // CreateProcess reports its own reason (file not found, access denied, bad format) already.
    return program;
}

} // namespace platform
