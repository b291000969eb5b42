// SPDX-License-Identifier: MIT
#include "errorlog.h"

#include "apacheconfig.h"
#include "apachesyntax.h"

#include <QDir>

namespace config {

QStringList ApacheErrorLogFiles(const QString& apacheFolder, const QString& httpdConf)
{
    QString errorLog;
    int virtualHostDepth = 0;
    ApacheConfigReader reader(apacheFolder);
    reader.read(httpdConf, [&](const ApacheConfigLine& raw) {
        const auto [word, rest] = SplitDirective(reader.expand(raw.text));
        if (IsDirectiveName(word, QLatin1String("<VirtualHost")))
            ++virtualHostDepth;
        else if (word.startsWith(QLatin1String("</VirtualHost"), Qt::CaseInsensitive))
            virtualHostDepth = qMax(0, virtualHostDepth - 1);
        else if (IsDirectiveName(word, QLatin1String("ErrorLog")) && virtualHostDepth == 0)
            errorLog = ApacheArgument(rest);
    });

    // A log that is a program or syslog has no file to read.
    if (errorLog.startsWith(QLatin1Char('|')) ||
        errorLog.compare(QLatin1String("syslog"), Qt::CaseInsensitive) == 0 ||
        errorLog.startsWith(QLatin1String("syslog:"), Qt::CaseInsensitive))
        return {};
    const QDir base(reader.serverRoot());
    if (!errorLog.isEmpty())
        return {QDir::cleanPath(base.filePath(errorLog))};
    return {QDir::cleanPath(base.filePath(QStringLiteral("logs/error.log"))),
            QDir::cleanPath(base.filePath(QStringLiteral("logs/error_log")))};
}

} // namespace config
