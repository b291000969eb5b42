// SPDX-License-Identifier: MIT
#include "system.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace platform {

bool UsesNetCommand()
{
    return false;
}

QString NetProgram()
{
    return QStringLiteral("net");
}

QString ProgramToStart(const QString& program)
{
    // QProcess searches PATH for executable files only and then reports a file it skipped as
    // missing; execvp instead tries every file of that name and says why the last one failed.
    if (program.isEmpty() || program.contains(QLatin1Char('/')))
        return program;
    QString firstFound;
    const QStringList folders = qEnvironmentVariable("PATH").split(QLatin1Char(':'));
    for (const QString& folder : folders) {
        const QString candidate =
            QDir(folder.isEmpty() ? QStringLiteral(".") : folder).absoluteFilePath(program);
        if (!QFileInfo::exists(candidate))
            continue;
        if (QFileInfo(candidate).isFile() && ::access(QFile::encodeName(candidate).constData(), X_OK) == 0)
            return candidate;
        if (firstFound.isEmpty())
            firstFound = candidate;
    }
    return firstFound.isEmpty() ? program : firstFound;
}

} // namespace platform
