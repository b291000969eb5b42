// SPDX-License-Identifier: MIT
#pragma once

#include "phphandler.h"
#include "rootaccess.h"

#include "platform/servicelist.h"

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace config {

enum class Layout {
    ApacheFolder, ///< conf/httpd.conf under the folder: Apache's own builds, XAMPP, a build from source
    Debian,       ///< apache2.conf in the folder, modules and sites enabled by links: Debian's apache2
};

struct ApacheInvocation
{
    QString program;
    QStringList arguments;
    QStringList environment; ///< NAME=value, added to the environment it runs in
};

/** An Apache installation as an apply pass reads and changes it, worked out from its folder. */
struct Installation
{
    QString apacheFolder;
    Layout layout = Layout::ApacheFolder;
    QString httpdConf;        ///< Apache's main configuration file
    QString phpIni;           ///< the php.ini PHP reads, which the pass changes
    bool phpIniNamed = false; ///< it is not the Apache folder's own: the configuration names another
    QStringList siteFiles;    ///< the files whose DocumentRoot and DirectoryIndex lines are set
    QString apacheProgram;    ///< Apache's own program, which tests a configuration; empty: none
    QStringList listen;       ///< the arguments of its Listen lines, in the order Apache reads them
    QString user;             ///< the account its User line names (empty: none)
    RootAccess access;        ///< what its configuration grants, for a new document root
    /** Where the main error log may be: the last ErrorLog outside a virtual host, else logs/error.log and
     * logs/error_log, under ServerRoot; none for a program (|...) or syslog. */
    QStringList errorLogs;
    QString phpFastCgi; ///< where Apache hands .php to PHP-FPM (unix:/run/php/php8.2-fpm.sock); empty: none
    QString phpFpmProgram; ///< the PHP-FPM listening there, to be asked for its php.ini (empty: none found)
    QString phpFpmService; ///< its service: php8.2-fpm, php-fpm
    QString apacheService, mysqlService; ///< Fedora's: httpd, mariadb; empty: the usual names

    bool configFilesFound() const;
    /** Apache's program with @p options (-t, -S) on this installation's configuration; none without one. */
    ApacheInvocation apacheInvocation(const QStringList& options) const;
};

/**
 * The installation in @p apacheFolder, used exactly as typed: php.ini and conf/httpd.conf right
 * there (the folder's text, the system's separator, the names). With apache2.conf and no
 * conf/httpd.conf it is Debian's layout: the lines to set stand in the files it includes, and PHP
 * reads the php.ini of the PHP whose module is enabled. A PHPIniDir anywhere names the php.ini PHP
 * reads; PHP-FPM behind Apache is found among @p packages and names its own (phpIni stays empty).
 * With conf.modules.d/ beside conf/ it is Fedora's /etc/httpd: services httpd and mariadb.
 */
Installation LocateInstallation(const QString& apacheFolder, const PackageFolders& packages = {});

/** What the choice of the window's Apache folder looks at; tests replace each. */
struct FolderLookup
{
    std::function<std::vector<platform::InstalledService>()> installedServices = platform::InstalledServices;
    std::function<bool(const QString& path)> exists = [](const QString& path) {
        return QFileInfo::exists(path);
    };
    std::function<QStringList(const QString& folder)> subfolders = [](const QString& folder) {
        return QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    };
};

/** The window's first Apache folder: that of an installed service running FOLDER\bin\httpd.exe, else
 * the first usual folder there (of versions side by side, the highest), else the system's default. */
QString DefaultApacheFolder(const FolderLookup& lookup = {});

} // namespace config
