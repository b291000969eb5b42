// SPDX-License-Identifier: MIT
#include "apachesyntax.h"

#include "platform/apachehost.h"

namespace config {

namespace {

bool IsBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

// Apache compares the folders of <Directory> sections after its own canonical form; one trailing
// separator makes no difference to it.
QString Normalized(QString folder)
{
    if (platform::FileNamesLikeWindows()) {
        folder.replace(QLatin1Char('\\'), QLatin1Char('/'));
        folder = folder.toCaseFolded();
    }
    if (folder.size() > 1 && (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\'))))
        folder.chop(1);
    return folder;
}

} // namespace

QString ApacheArgument(const QString& text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && IsBlank(text.at(i)))
        ++i;
    if (i == n)
        return {};
    const QChar quote = text.at(i);
    if (quote != QLatin1Char('"') && quote != QLatin1Char('\'')) {
        qsizetype end = i;
        while (end < n && !IsBlank(text.at(end)))
            ++end;
        return text.mid(i, end - i);
    }
    QString value;
    for (++i; i < n && text.at(i) != quote; ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\\') && i + 1 < n &&
            (text.at(i + 1) == quote || text.at(i + 1) == QLatin1Char('\\')))
            value += text.at(++i);
        else
            value += c;
    }
    return value;
}

QString QuoteForApache(const QString& folder)
{
    QString quoted;
    quoted.reserve(folder.size() + 2);
    const qsizetype n = folder.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = folder.at(i);
        if (c == QLatin1Char('"')) {
            quoted += QLatin1String("\\\"");
        } else if (c == QLatin1Char('\\')) {
            // Apache unescapes \\ and \" inside quotes; the closing quote follows the last character.
            const bool escapes =
                i + 1 == n || folder.at(i + 1) == QLatin1Char('\\') || folder.at(i + 1) == QLatin1Char('"');
            quoted += escapes ? QLatin1String("\\\\") : QLatin1String("\\");
        } else {
            quoted += c;
        }
    }
    return quoted;
}

bool SameApacheFolder(const QString& a, const QString& b)
{
    return !a.isEmpty() && Normalized(a) == Normalized(b);
}

bool IsFileSystemRoot(const QString& folder)
{
    const auto separator = [](QChar c) { return c == QLatin1Char('/') || c == QLatin1Char('\\'); };
    if (folder.size() == 1)
        return separator(folder.at(0));
    const bool drive = folder.size() >= 2 && folder.at(0).isLetter() && folder.at(0).unicode() < 0x80 &&
                       folder.at(1) == QLatin1Char(':');
    return drive && (folder.size() == 2 || (folder.size() == 3 && separator(folder.at(2))));
}

bool ContinuesOnNextLine(QByteArrayView rawLine)
{
    // Apache's rule: a backslash right before the line end, not itself escaped by another.
    const qsizetype n = rawLine.size();
    return n >= 2 && rawLine[n - 1] == '\\' && rawLine[n - 2] != '\\';
}

} // namespace config
