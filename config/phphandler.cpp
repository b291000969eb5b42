// SPDX-License-Identifier: MIT
#include "phphandler.h"

#include "apachesyntax.h"
#include "platform/apachehost.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <algorithm>

namespace config {

namespace {

// The address in a FastCGI URL as mod_proxy_fcgi reads it: proxy:unix:PATH|fcgi://…, fcgi://HOST:PORT/….
QString FastCgiAddress(QString url)
{
    if (url.startsWith(QLatin1String("proxy:"), Qt::CaseInsensitive))
        url = url.mid(6);
    if (url.startsWith(QLatin1String("unix:"), Qt::CaseInsensitive) &&
        url.contains(QLatin1String("|fcgi://"), Qt::CaseInsensitive))
        return QStringLiteral("unix:") + url.mid(5).section(QLatin1Char('|'), 0, 0);
    if (url.startsWith(QLatin1String("fcgi://"), Qt::CaseInsensitive))
        return url.mid(7).section(QLatin1Char('/'), 0, 0);
    return {};
}

// A pool's "listen =" value against Apache's side of the socket: the same file, or the same port on
// the same address or on every one (a pool giving only a port listens on all).
bool ListensAt(const QString& listen, const QString& address)
{
    if (address.startsWith(QLatin1String("unix:")))
        return listen.startsWith(QLatin1Char('/')) &&
               QDir::cleanPath(listen) == QDir::cleanPath(address.mid(5));
    const auto split = [](const QString& hostPort) {
        const qsizetype colon = hostPort.lastIndexOf(QLatin1Char(':'));
        const QString host = colon < 0 ? QString() : hostPort.left(colon);
        return std::pair{host == QLatin1String("localhost") ? QStringLiteral("127.0.0.1") : host,
                         hostPort.mid(colon + 1)};
    };
    const auto [host, port] = split(address);
    const auto [listenHost, listenPort] = split(listen);
    static const QStringList everyAddress{QString(), QStringLiteral("0.0.0.0"), QStringLiteral("[::]"),
                                          QStringLiteral("*")};
    return listenPort == port && (everyAddress.contains(listenHost) || listenHost == host);
}

// True when a pool of a PHP-FPM configuration file (*.conf) in @p poolFolder listens at @p address.
bool AnyPoolListensAt(const QString& poolFolder, const QString& address)
{
    static const QRegularExpression listenLine(QStringLiteral("^\\s*listen\\s*=\\s*\"?([^\";]*)\"?"));
    for (const QString& name :
         QDir(poolFolder).entryList({QStringLiteral("*.conf")}, QDir::Files, QDir::Name)) {
        QFile file(QDir(poolFolder).filePath(name));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        QString pool;
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine()).trimmed();
            if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']')))
                pool = line.mid(1, line.size() - 2);
            const QRegularExpressionMatch match = listenLine.match(line);
            // PHP-FPM replaces $pool by the section's name.
            if (match.hasMatch() &&
                ListensAt(match.captured(1).trimmed().replace(QLatin1String("$pool"), pool), address))
                return true;
        }
    }
    return false;
}

} // namespace

void PhpHandlerReader::read(const ApacheConfigLine& line)
{
    const auto [name, rest] = SplitDirective(line.expanded);
    const bool taken = std::all_of(m_open.begin(), m_open.end(), [](bool open) { return open; });
    if (name.startsWith(QLatin1String("</IfModule"), Qt::CaseInsensitive)) {
        if (!m_open.empty())
            m_open.pop_back();
        return;
    }
    if (IsDirectiveName(name, "<IfModule")) {
        QString module = rest.endsWith(QLatin1Char('>')) ? rest.chopped(1).trimmed() : rest;
        const bool negated = module.startsWith(QLatin1Char('!'));
        module = ApacheArgument(negated ? module.mid(1) : module);
        m_open.push_back(taken && loaded(module) != negated);
        return;
    }
    if (!taken)
        return;
    if (IsDirectiveName(name, "LoadModule")) {
        m_loaded << ApacheArgument(rest);
    } else if (IsDirectiveName(name, "SetHandler") || IsDirectiveName(name, "AddHandler") ||
               IsDirectiveName(name, "AddType")) {
        // PHP's module type hands .php back to the module; only SetHandler names a FastCGI handler.
        const QString handler = ApacheArgument(rest);
        if (handler.compare(QLatin1String("application/x-httpd-php"), Qt::CaseInsensitive) == 0)
            m_address.clear();
        else if (IsDirectiveName(name, "SetHandler") && !FastCgiAddress(handler).isEmpty())
            m_address = FastCgiAddress(handler);
    } else if (IsDirectiveName(name, "ProxyPassMatch")) {
        // ProxyPassMatch REGEX URL: PHP-FPM when the pattern is about .php files.
        const QStringList arguments = QProcess::splitCommand(rest);
        const QString address = FastCgiAddress(arguments.value(1));
        if (arguments.value(0).contains(QLatin1String("php"), Qt::CaseInsensitive) && !address.isEmpty())
            m_address = address;
    }
}

bool PhpHandlerReader::loaded(const QString& module) const
{
    // <IfModule> also takes a module's source file: mod_dir.c for dir_module. PHP's module is
    // php_module in its LoadModule line (php7_module, php5_module before) and mod_php8.c as a file.
    static const QRegularExpression sourceFile(QStringLiteral("^mod_(.+)\\.c$"));
    static const QRegularExpression php(QStringLiteral("^php\\d*_module$"));
    const QString base = sourceFile.match(module).captured(1);
    if (base.isEmpty())
        return m_loaded.contains(module);
    if (php.match(base + QStringLiteral("_module")).hasMatch())
        return std::any_of(m_loaded.begin(), m_loaded.end(),
                           [](const QString& name) { return php.match(name).hasMatch(); });
    return m_loaded.contains(base + QStringLiteral("_module"));
}

std::optional<PhpFpm> FindPhpFpm(const QString& address, const PackageFolders& folders)
{
    if (address.isEmpty())
        return std::nullopt;
    // Debian: /etc/php/8.2/fpm/pool.d/www.conf belongs to php-fpm8.2, the service php8.2-fpm.
    const QStringList versions =
        folders.phpVersions.isEmpty()
            ? QStringList()
            : QDir(folders.phpVersions).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& version : versions)
        if (AnyPoolListensAt(QDir(folders.phpVersions).filePath(version + QStringLiteral("/fpm/pool.d")),
                             address))
            return PhpFpm{QDir(folders.programs).filePath(QStringLiteral("php-fpm") + version),
                          QStringLiteral("php%1-fpm").arg(version)};
    if (!folders.phpFpmPools.isEmpty() && AnyPoolListensAt(folders.phpFpmPools, address))
        return PhpFpm{QDir(folders.programs).filePath(QStringLiteral("php-fpm")), QStringLiteral("php-fpm")};
    return std::nullopt;
}

QString LoadedPhpIni(const QString& phpInfo)
{
    static const QRegularExpression loadedLine(QStringLiteral("^Loaded Configuration File => (.+?)\\s*$"),
                                               QRegularExpression::MultilineOption);
    const QString file = loadedLine.match(phpInfo).captured(1);
    return file == QLatin1String("(none)") ? QString() : file;
}

} // namespace config
