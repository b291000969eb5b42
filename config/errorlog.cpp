// SPDX-License-Identifier: MIT
#include "errorlog.h"

#include "apachelines.h"
#include "apachesyntax.h"
#include "platform/apachehost.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QStringDecoder>

namespace config {

namespace {

// ${VAR} as Apache resolves it: from the Define lines read so far, then from the environment;
// an unknown one stays as written.
QString Expand(const QString& text, const QHash<QString, QString>& defines)
{
    static const QRegularExpression variable(QStringLiteral("\\$\\{([A-Za-z0-9_]+)\\}"));
    QString expanded;
    qsizetype done = 0;
    for (const QRegularExpressionMatch& match : variable.globalMatch(text)) {
        const QString name = match.captured(1);
        const QByteArray variableName = name.toLocal8Bit();
        QString value = match.captured(0);
        if (defines.contains(name))
            value = defines.value(name);
        else if (qEnvironmentVariableIsSet(variableName.constData()))
            value = qEnvironmentVariable(variableName.constData());
        expanded += text.mid(done, match.capturedStart() - done) + value;
        done = match.capturedEnd();
    }
    return expanded + text.mid(done);
}

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
    QStringDecoder decoder(platform::ApacheFolderEncoding());
    QHash<QString, QString> defines;
    QString serverRoot;
    QString errorLog;
    int virtualHostDepth = 0;
    ApacheLineReader lines;
    ReadApacheLines(httpdConf, lines, [&](const ApacheLine& raw) {
        const QString line = Expand(QString(decoder.decode(raw.text)).trimmed(), defines);
        const auto [word, rest] = SplitWord(line);
        if (word.compare(QLatin1String("<VirtualHost"), Qt::CaseInsensitive) == 0)
            ++virtualHostDepth;
        else if (word.startsWith(QLatin1String("</VirtualHost"), Qt::CaseInsensitive))
            virtualHostDepth = qMax(0, virtualHostDepth - 1);
        else if (word.compare(QLatin1String("Define"), Qt::CaseInsensitive) == 0) {
            const auto [name, value] = SplitWord(rest.trimmed());
            defines.insert(name, ApacheArgument(value));
        } else if (word.compare(QLatin1String("ServerRoot"), Qt::CaseInsensitive) == 0)
            serverRoot = ApacheArgument(rest);
        else if (word.compare(QLatin1String("ErrorLog"), Qt::CaseInsensitive) == 0 && virtualHostDepth == 0)
            errorLog = ApacheArgument(rest);
    });

    // A log that is a program or syslog has no file to read.
    if (errorLog.startsWith(QLatin1Char('|')) ||
        errorLog.compare(QLatin1String("syslog"), Qt::CaseInsensitive) == 0 ||
        errorLog.startsWith(QLatin1String("syslog:"), Qt::CaseInsensitive))
        return {};
    const QDir base(QDir(apacheFolder).filePath(serverRoot));
    if (!errorLog.isEmpty())
        return {QDir::cleanPath(base.filePath(errorLog))};
    return {QDir::cleanPath(base.filePath(QStringLiteral("logs/error.log"))),
            QDir::cleanPath(base.filePath(QStringLiteral("logs/error_log")))};
}

} // namespace config
