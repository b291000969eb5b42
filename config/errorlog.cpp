// SPDX-License-Identifier: MIT
#include "errorlog.h"

#include "apacheconfig.h"
#include "apachesyntax.h"

#include <QDir>
#include <QRegularExpression>

namespace config {

namespace {

// The first word of @p text and what follows the blank or tab after it.
std::pair<QString, QString> SplitWord(const QString& text)
{
    static const QRegularExpression blank(QStringLiteral("[ \t]"));
    const qsizetype end = text.indexOf(blank);
    return end < 0 ? std::pair{text, QString()} : std::pair{text.left(end), text.mid(end + 1)};
}

} // namespace

QStringList ApacheErrorLogFiles(const QString& apacheFolder, const QString& httpdConf)
{
    QString errorLog;
    int virtualHostDepth = 0;
    ApacheConfigReader reader(apacheFolder);
    reader.read(httpdConf, [&](const ApacheConfigLine& raw) {
        const auto [word, rest] = SplitWord(reader.expand(raw.text).trimmed());
        if (word.compare(QLatin1String("<VirtualHost"), Qt::CaseInsensitive) == 0)
            ++virtualHostDepth;
        else if (word.startsWith(QLatin1String("</VirtualHost"), Qt::CaseInsensitive))
            virtualHostDepth = qMax(0, virtualHostDepth - 1);
        else if (word.compare(QLatin1String("ErrorLog"), Qt::CaseInsensitive) == 0 && virtualHostDepth == 0)
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
