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
    static constexpr QLatin1StringView kName("<directory");
    const qsizetype n = line.size();
    qsizetype i = 0;
    while (i < n && IsBlank(line[i]))
        ++i;
    const qsizetype indent = i;
    if (n - i <= kName.size() || line[i] != QLatin1Char('<') || !IsBlank(line[i + kName.size()]))
        return std::nullopt;
    for (qsizetype k = 1; k < kName.size(); ++k) // ASCII letters in any case, as Apache compares them
        if ((line[i + k].unicode() | 0x20) != kName[k].unicode())
            return std::nullopt;
    i += kName.size();
    while (i < n && IsBlank(line[i]))
        ++i;
    const qsizetype folderStart = i;
    if (i < n && (line[i] == QLatin1Char('"') || line[i] == QLatin1Char('\''))) {
        const QChar quote = line[i];
        for (++i; i < n && line[i] != quote; ++i)
            if (line[i] == QLatin1Char('\\') && i + 1 < n &&
                (line[i + 1] == quote || line[i + 1] == QLatin1Char('\\')))
                ++i;
        if (i == n)
            return std::nullopt;
    }
    const qsizetype close = line.indexOf(QLatin1Char('>'), i);
    if (close < 0)
        return std::nullopt;
    return DirectoryOpening{indent, close,
                            ApacheArgument(line.sliced(folderStart, close - folderStart).toString())};
}

bool IsFileSystemRoot(const QString& folder)
{
    const auto separator = [](QChar c) { return c == QLatin1Char('/') || c == QLatin1Char('\\'); };
    if (folder.size() == 1)
        return separator(folder.at(0));
    const bool drive = folder.size() >= 2 && folder.at(1) == QLatin1Char(':');
    return drive && (folder.size() == 2 || (folder.size() == 3 && separator(folder.at(2))));
}

QUrl PageAddress(const QStringList& listenArguments)
{
    for (const QString& arguments : listenArguments) {
        const QStringList words = arguments.simplified().split(QLatin1Char(' '));
        const QString& address = words.first();
        const qsizetype colon = address.lastIndexOf(QLatin1Char(':'));
        QString host = colon < 0 ? QString() : address.left(colon);
        const QString port = address.mid(colon + 1);
        const QString protocol = words.value(1).toLower();
        if (protocol == QLatin1String("https") || (protocol.isEmpty() && port == QLatin1String("443")))
            continue;
        if (host.isEmpty() || host == QLatin1String("*") || host == QLatin1String("0.0.0.0"))
            host = QStringLiteral("127.0.0.1");
        else if (host == QLatin1String("[::]"))
            host = QStringLiteral("[::1]");
        const QUrl url(QStringLiteral("http://%1:%2/").arg(host, port));
        if (url.isValid() && url.port() > 0)
            return url;
    }
    return {};
}

ApacheListing ReadListing(const QString& output)
{
    // Main ErrorLog: "/var/log/apache2/error.log"   and   User: name="www-data" id=33
    static const QRegularExpression errorLog(QStringLiteral("^Main ErrorLog: \"(.*)\"\\s*$"),
                                             QRegularExpression::MultilineOption);
    static const QRegularExpression user(QStringLiteral("^User: name=\"([^\"]*)\""),
                                         QRegularExpression::MultilineOption);
    return {output, errorLog.match(output).captured(1), user.match(output).captured(1)};
}

QString VirtualHostOnPort(const QString& listing, int port)
{
    // "*:80  is a NameVirtualHost" followed by "default server NAME (FILE:LINE)", or
    // "127.0.0.1:8080  NAME (FILE:LINE)" for an address with one virtual host.
    static const QRegularExpression address(QStringLiteral("^\\S*:(\\d+)\\s"));
    static const QRegularExpression place(QStringLiteral("\\((.+:\\d+)\\)\\s*$"));
    bool onPort = false;
    for (const QString& line : listing.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch start = address.match(line);
        if (start.hasMatch())
            onPort = start.captured(1).toInt() == port;
        else if (!line.startsWith(QLatin1Char(' ')) && !line.startsWith(QLatin1Char('\t')))
            onPort = false;
        if (!onPort || line.contains(QLatin1String("is a NameVirtualHost")))
            continue;
        const QRegularExpressionMatch found = place.match(line);
        if (found.hasMatch() &&
            (start.hasMatch() || line.trimmed().startsWith(QLatin1String("default server"))))
            return found.captured(1);
    }
    return {};
}

} // namespace config
