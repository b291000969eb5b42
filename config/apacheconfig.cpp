// SPDX-License-Identifier: MIT
#include "apacheconfig.h"

#include "apachelines.h"
#include "apachesyntax.h"
#include "platform/apachehost.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>

namespace config {

namespace {

// Every entry of @p folder but . and .., in the order Apache reads them: by the bytes of their names.
QStringList Entries(const QString& folder)
{
    QStringList names = QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    std::sort(names.begin(), names.end(),
              [](const QString& a, const QString& b) { return a.toUtf8() < b.toUtf8(); });
    return names;
}

} // namespace

ApacheConfigReader::ApacheConfigReader(QString defaultServerRoot)
    : m_defaultServerRoot(QDir::cleanPath(QDir::fromNativeSeparators(defaultServerRoot))),
      m_serverRoot(m_defaultServerRoot)
{
}

void ApacheConfigReader::read(const QString& mainFile,
                              const std::function<void(const ApacheConfigLine&)>& onLine)
{
    m_onLine = onLine;
    if (QFileInfo(mainFile).isFile())
        readPath(mainFile);
}

QString ApacheConfigReader::expand(const QString& text) const
{
    static const QRegularExpression variable(QStringLiteral("\\$\\{([A-Za-z0-9_]+)\\}"));
    if (!text.contains(QLatin1String("${"))) // most lines: no regular expression run for them
        return text;
    QString expanded;
    qsizetype done = 0;
    for (const QRegularExpressionMatch& match : variable.globalMatch(text)) {
        const QString name = match.captured(1);
        const QByteArray variable = name.toLocal8Bit();
        const QString value = m_defines.contains(name) ? m_defines.value(name)
                              : qEnvironmentVariableIsSet(variable.constData())
                                  ? qEnvironmentVariable(variable.constData())
                                  : match.captured(0);
        expanded += text.mid(done, match.capturedStart() - done) + value;
        done = match.capturedEnd();
    }
    return expanded + text.mid(done);
}

void ApacheConfigReader::readPath(const QString& path)
{
    const QFileInfo info(path);
    // A folder linked into itself, or a file including itself, would be read for ever; past the
    // bound no folder is walked either.
    const QString canonical = info.isDir() || info.isFile() ? info.canonicalFilePath() : QString();
    if (m_read >= kMaxFiles || canonical.isEmpty() || m_open.contains(canonical))
        return;
    m_open << canonical;
    if (info.isDir()) {
        for (const QString& name : Entries(path))
            readPath(QDir(path).filePath(name));
    } else {
        ++m_read;
        QStringDecoder decoder(platform::ApacheFolderEncoding(), QStringConverter::Flag::Stateless);
        QString error; // a file that cannot be read adds nothing, as one that is not there
        ForEachApacheLine(ReadWholeFile(path, &error), Continuations::Join, [&](const ApacheLine& line) {
            const bool comment = line.text.trimmed().isEmpty() || line.text.trimmed().startsWith('#');
            const QString text = decoder.decode(line.text);
            const ApacheConfigLine configLine{path, line.number, text, comment ? QString() : expand(text)};
            m_onLine(configLine);
            if (!comment)
                act(configLine.expanded);
        });
    }
    m_open.removeLast();
}

void ApacheConfigReader::act(const QString& line)
{
    const auto [word, rest] = SplitDirective(line);
    if (IsDirectiveName(word, "Define")) {
        const auto [name, value] = SplitDirective(rest);
        // Without a value the name is only defined for <IfDefine>: no variable.
        if (!value.isEmpty())
            m_defines.insert(name, ApacheArgument(value));
    } else if (IsDirectiveName(word, "UnDefine")) {
        m_defines.remove(rest);
    } else if (IsDirectiveName(word, "ServerRoot")) {
        m_serverRoot = QDir::cleanPath(
            QDir(m_defaultServerRoot).filePath(QDir::fromNativeSeparators(ApacheArgument(rest))));
    } else if (IsDirectiveName(word, "Include") || IsDirectiveName(word, "IncludeOptional")) {
        include(ApacheArgument(rest));
    }
}

void ApacheConfigReader::include(const QString& argument)
{
    if (argument.isEmpty())
        return;
    const QString path = QDir::cleanPath(QDir(m_serverRoot).filePath(QDir::fromNativeSeparators(argument)));
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString folder = slash <= 0 ? path.left(slash + 1) : path.left(slash);
    const QString name = path.mid(slash + 1);
    static const QRegularExpression wildcard(QStringLiteral("[*?[]"));
    if (!name.contains(wildcard))
        return readPath(path);
    const QRegularExpression pattern = FileNamePattern(name);
    for (const QString& entry : Entries(folder)) {
        // As with the shell, a wildcard never matches a leading dot.
        const bool hidden = entry.startsWith(QLatin1Char('.')) && !name.startsWith(QLatin1Char('.'));
        if (!hidden && pattern.match(entry).hasMatch())
            readPath(QDir(folder).filePath(entry));
    }
}

} // namespace config
