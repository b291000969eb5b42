// SPDX-License-Identifier: MIT
#include "apachesyntax.h"

#include "platform/apachehost.h"

#include <QRegularExpression>

namespace config {

namespace {

bool IsBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

// One trailing separator makes no difference to Apache.
QStringView WithoutTrailingSeparator(QStringView folder)
{
    if (folder.size() > 1 && (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\'))))
        folder.chop(1);
    return folder;
}

} // namespace

bool SameApacheFolder(QStringView a, QStringView b)
{
    a = WithoutTrailingSeparator(a);
    b = WithoutTrailingSeparator(b);
    if (a.isEmpty() || a.size() != b.size())
        return false;
    if (!platform::FileNamesLikeWindows())
        return a == b;
    const auto folded = [](QChar c) { return c == QLatin1Char('\\') ? QLatin1Char('/') : c.toCaseFolded(); };
    for (qsizetype i = 0; i < a.size(); ++i)
        if (folded(a[i]) != folded(b[i]))
            return false;
    return true;
}

std::pair<QString, QString> SplitDirective(const QString& line)
{
    const QString trimmed = line.trimmed();
    qsizetype end = 0;
    while (end < trimmed.size() && !IsBlank(trimmed.at(end)))
        ++end;
    return {trimmed.left(end), trimmed.mid(end).trimmed()};
}

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

bool ApacheFolderHolds(QStringView parent, QStringView folder)
{
    parent = WithoutTrailingSeparator(parent);
    if (parent.isEmpty() || folder.size() <= parent.size())
        return SameApacheFolder(parent, folder);
    // "/srv/www" holds "/srv/www/x", not "/srv/www2"; "/" and "C:/" hold everything on their drive.
    const auto separator = [](QChar c) {
        return c == QLatin1Char('/') || (platform::FileNamesLikeWindows() && c == QLatin1Char('\\'));
    };
    return (separator(parent.back()) || separator(folder.at(parent.size()))) &&
           SameApacheFolder(parent, folder.first(parent.size()));
}

std::optional<DirectoryOpening> ReadDirectoryOpening(QStringView line)
{
    // Blanks, "<Directory", blanks, the folder (a quoted one up to its closing quote, \\ and \" escaped
    // in it), ">". Apache compares the name in any case.
    static const QRegularExpression opening(
        QStringLiteral(
            R"(^([ \t]*)<directory[ \t]++((?:"(?:\\.|[^"\\])*"|'(?:\\.|[^'\\])*'|(?=[^"']))[^>]*)>)"),
        QRegularExpression::CaseInsensitiveOption);
    if (!line.trimmed().startsWith(QLatin1Char('<'))) // most lines: no regular expression run for them
        return std::nullopt;
    const QRegularExpressionMatch match = opening.match(line);
    if (!match.hasMatch())
        return std::nullopt;
    return DirectoryOpening{match.capturedLength(1), match.capturedEnd(2), ApacheArgument(match.captured(2))};
}

QRegularExpression FileNamePattern(const QString& wildcard)
{
    return QRegularExpression(QRegularExpression::wildcardToRegularExpression(wildcard),
                              platform::FileNamesLikeWindows() ? QRegularExpression::CaseInsensitiveOption
                                                               : QRegularExpression::NoPatternOption);
}

bool IsFileSystemRoot(const QString& folder)
{
    const auto separator = [](QChar c) { return c == QLatin1Char('/') || c == QLatin1Char('\\'); };
    if (folder.size() == 1)
        return separator(folder.at(0));
    const bool drive = folder.size() >= 2 && folder.at(1) == QLatin1Char(':');
    return drive && (folder.size() == 2 || (folder.size() == 3 && separator(folder.at(2))));
}

} // namespace config
