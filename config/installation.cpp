// SPDX-License-Identifier: MIT
#include "installation.h"

#include "errorlog.h"
#include "platform/files.h"

#include <QDir>

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

Installation LocateInstallation(const QString& apacheFolder)
{
    const QChar separator = QDir::separator();
    return {apacheFolder, apacheFolder + separator + QStringLiteral("php.ini"),
            apacheFolder + separator + QStringLiteral("conf") + separator + QStringLiteral("httpd.conf")};
}

} // namespace config
