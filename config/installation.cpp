// SPDX-License-Identifier: MIT
#include "installation.h"

#include "errorlog.h"
#include "platform/apachehost.h"
#include "platform/files.h"

#include <QDir>
#include <QFileInfo>

namespace config {

bool Installation::configFilesFound() const
{
    const bool phpIniFound = platform::IsOrdinaryFile(phpIni);
    const bool httpdConfFound = platform::IsOrdinaryFile(httpdConf);
    return phpIniFound && httpdConfFound;
}

QStringList Installation::errorLogs() const
{
    return ApacheErrorLogFiles(apacheFolder, httpdConf);
}

QStringList Installation::directiveValues(const QString& directive) const
{
    return ApacheDirectiveValues(apacheFolder, httpdConf, directive);
}

Installation LocateInstallation(const QString& apacheFolder)
{
    const QChar separator = QDir::separator();
    Installation installation{apacheFolder,
                              apacheFolder + separator + QStringLiteral("php.ini"),
                              apacheFolder + separator + QStringLiteral("conf") + separator +
                                  QStringLiteral("httpd.conf"),
                              {}};
    for (const QString& candidate : platform::ApacheProgramCandidates()) {
        const QString program = QDir(apacheFolder).filePath(candidate);
        if (!apacheFolder.isEmpty() && QFileInfo(program).isFile()) {
            installation.apacheProgram = QDir::toNativeSeparators(program);
            break;
        }
    }
    return installation;
}

} // namespace config
