// SPDX-License-Identifier: MIT
#include "installation.h"

#include "apacheconfig.h"
#include "apachesyntax.h"
#include "platform/apachehost.h"
#include "platform/files.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QVersionNumber>

#include <algorithm>

namespace config {

namespace {

bool SameFile(const QString& a, const QString& b)
{
    const QFileInfo first(a), second(b);
    if (first.exists() && second.exists())
        return first.canonicalFilePath() == second.canonicalFilePath();
    return QDir::cleanPath(first.absoluteFilePath())
               .compare(QDir::cleanPath(second.absoluteFilePath()),
                        platform::FileNamesLikeWindows() ? Qt::CaseInsensitive : Qt::CaseSensitive) == 0;
}

// The php.ini of the PHP whose Apache module Debian's layout enables (mods-enabled/php8.2.load).
QString DebianPhpIni(const QString& apacheFolder)
{
    static const QRegularExpression module(QStringLiteral("^php(\\d+(\\.\\d+)*)\\.load$"));
    const QDir modules(apacheFolder + QStringLiteral("/mods-enabled")), php(platform::DebianPhpFolder());
    for (const QString& load : modules.entryList({QStringLiteral("php*.load")}, QDir::Files, QDir::Name))
        if (const QRegularExpressionMatch match = module.match(load);
            match.hasMatch() && !php.path().isEmpty())
            return php.filePath(match.captured(1) + QStringLiteral("/apache2/php.ini"));
    return {};
}

// A usual folder if it is there with its evidence; of folders matching a wildcard, the highest version.
QString FolderThere(const platform::ApacheFolderCandidate& candidate, const FolderLookup& lookup)
{
    if (!candidate.evidence.isEmpty() &&
        std::none_of(candidate.evidence.begin(), candidate.evidence.end(), lookup.exists))
        return {};
    if (!candidate.folder.contains(QLatin1Char('*')))
        return lookup.exists(candidate.folder) ? candidate.folder : QString();
    static const QRegularExpression separator(QStringLiteral("[\\\\/]")), digit(QStringLiteral("\\d"));
    const qsizetype cut = candidate.folder.lastIndexOf(separator);
    const QString parent = candidate.folder.left(cut + 1);
    const QRegularExpression pattern = FileNamePattern(candidate.folder.mid(cut + 1));
    QString folder;
    QVersionNumber highest;
    for (const QString& found : lookup.subfolders(parent)) {
        const QVersionNumber version = QVersionNumber::fromString(found.mid(found.indexOf(digit)));
        if (pattern.match(found).hasMatch() && (folder.isEmpty() || version > highest)) {
            highest = version;
            folder = parent + found;
        }
    }
    return folder;
}

} // namespace

bool Installation::configFilesFound() const
{
    return platform::IsOrdinaryFile(phpIni) && platform::IsOrdinaryFile(httpdConf);
}

ApacheInvocation Installation::apacheInvocation(const QStringList& options) const
{
    if (apacheProgram.isEmpty())
        return {};
    // apache2ctl finds its configuration and environment (envvars) through APACHE_CONFDIR, so that
    // a copy of the tree runs as itself.
    if (layout == Layout::Debian)
        return {apacheProgram, options, {QStringLiteral("APACHE_CONFDIR=") + apacheFolder}};
    return {
        apacheProgram, options + QStringList{QStringLiteral("-f"), QDir::toNativeSeparators(httpdConf)}, {}};
}

Installation LocateInstallation(const QString& apacheFolder, const PackageFolders& packages)
{
    const QChar separator = QDir::separator();
    const QString ownPhpIni = apacheFolder + separator + QStringLiteral("php.ini");
    Installation installation;
    installation.apacheFolder = apacheFolder;
    installation.httpdConf =
        apacheFolder + separator + QStringLiteral("conf") + separator + QStringLiteral("httpd.conf");
    installation.phpIni = ownPhpIni;
    const QString debianConf = apacheFolder + separator + QStringLiteral("apache2.conf");
    if (!apacheFolder.isEmpty() && !QFileInfo(installation.httpdConf).isFile() &&
        QFileInfo(debianConf).isFile()) {
        installation.layout = Layout::Debian;
        installation.httpdConf = debianConf;
        installation.phpIni = DebianPhpIni(apacheFolder);
        installation.phpIniNamed = true;
    }
    installation.siteFiles = QStringList{installation.httpdConf};

    // One read of the configuration Apache reads: PHPIniDir wherever it stands, what it grants, where
    // it listens, whom it runs as, and on Debian's layout the files that hold the lines to set.
    QString phpIniDir;
    QStringList siteFiles;
    QString errorLog;
    int virtualHosts = 0; // open around the line
    PhpHandlerReader phpHandler;
    ApacheConfigReader reader(apacheFolder);
    reader.read(installation.httpdConf, [&](const ApacheConfigLine& line) {
        const auto [name, rest] = SplitDirective(line.expanded);
        if (name.isEmpty()) // a comment or a blank line
            return;
        installation.access.read(line);
        phpHandler.read(line);
        if (IsDirectiveName(name, "<VirtualHost"))
            ++virtualHosts;
        else if (name.startsWith(QLatin1String("</VirtualHost"), Qt::CaseInsensitive))
            virtualHosts = qMax(0, virtualHosts - 1);
        else if (IsDirectiveName(name, "ErrorLog") && virtualHosts == 0)
            errorLog = ApacheArgument(rest);
        else if (IsDirectiveName(name, "PHPIniDir"))
            phpIniDir = QDir(reader.serverRoot()).filePath(ApacheArgument(rest));
        else if (IsDirectiveName(name, "Listen"))
            installation.listen << rest;
        else if (IsDirectiveName(name, "User"))
            installation.user = ApacheArgument(rest);
        else if ((IsDirectiveName(name, "DocumentRoot") || IsDirectiveName(name, "DirectoryIndex")) &&
                 !siteFiles.contains(line.file))
            siteFiles << line.file;
    });
    // A log that is a program or syslog has no file to read.
    const bool noFile = errorLog.startsWith(QLatin1Char('|')) ||
                        IsDirectiveName(errorLog.section(QLatin1Char(':'), 0, 0), "syslog");
    const QStringList logs =
        errorLog.isEmpty() ? QStringList{QStringLiteral("logs/error.log"), QStringLiteral("logs/error_log")}
                           : QStringList{errorLog};
    for (const QString& log : noFile ? QStringList() : logs)
        installation.errorLogs << QDir::cleanPath(QDir(reader.serverRoot()).filePath(log));
    if (!phpIniDir.isEmpty()) {
        installation.phpIni = QDir::toNativeSeparators(QDir(phpIniDir).filePath(QStringLiteral("php.ini")));
        installation.phpIniNamed = !SameFile(installation.phpIni, ownPhpIni);
    }
    // PHP-FPM reads a php.ini of its own, which only that program can name.
    installation.phpFastCgi = phpHandler.fastCgiAddress();
    if (!installation.phpFastCgi.isEmpty()) {
        const std::optional<PhpFpm> fpm = FindPhpFpm(installation.phpFastCgi, packages);
        installation.phpIni.clear();
        installation.phpIniNamed = true;
        installation.phpFpmProgram = fpm ? fpm->program : QString();
        installation.phpFpmService = fpm ? fpm->service : QString();
    }
    if (installation.layout == Layout::Debian) {
        installation.siteFiles = siteFiles;
        installation.apacheProgram = platform::DebianApacheControl();
        if (!QFileInfo(installation.apacheProgram).isFile())
            installation.apacheProgram.clear();
        return installation;
    }
    for (const QString& candidate : platform::ApacheProgramCandidates()) {
        const QString program = QDir(apacheFolder).filePath(candidate);
        if (!apacheFolder.isEmpty() && QFileInfo(program).isFile()) {
            installation.apacheProgram = QDir::toNativeSeparators(program);
            break;
        }
    }
    // Fedora's and RHEL's httpd package: /etc/httpd holds the configuration, the program is elsewhere.
    if (!apacheFolder.isEmpty() && !packages.programs.isEmpty() &&
        QFileInfo(QDir(apacheFolder).filePath(QStringLiteral("conf.modules.d"))).isDir()) {
        installation.apacheService = QStringLiteral("httpd");
        installation.mysqlService = QStringLiteral("mariadb");
        const QString httpd = QDir(packages.programs).filePath(QStringLiteral("httpd"));
        if (installation.apacheProgram.isEmpty() && QFileInfo(httpd).isFile())
            installation.apacheProgram = httpd;
    }
    return installation;
}

QString DefaultApacheFolder(const FolderLookup& lookup)
{
    // The installation whose service the pass will drive: Apache's own "httpd -k install" registers
    // FOLDER\bin\httpd.exe, whatever the folder or the service's name.
    static const QRegularExpression httpd(QStringLiteral("^(.+)[\\\\/]bin[\\\\/]httpd\\.exe$"),
                                          QRegularExpression::CaseInsensitiveOption);
    for (const platform::InstalledService& service : lookup.installedServices())
        if (const QRegularExpressionMatch match = httpd.match(service.program);
            match.hasMatch() && lookup.exists(service.program))
            return QDir::toNativeSeparators(match.captured(1));
    for (const platform::ApacheFolderCandidate& candidate : platform::ApacheFolderCandidates())
        if (const QString folder = FolderThere(candidate, lookup); !folder.isEmpty())
            return folder;
    return platform::ApacheFolderWhenNone();
}

} // namespace config
