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
    /**
     * The files Apache writes its main error log to, as its configuration names them: the file of
     * the last ErrorLog outside a virtual host (relative: under ServerRoot), else logs/error.log and
     * logs/error_log there. Empty when the log goes to a program (|...) or to syslog.
     */
    QStringList errorLogs;
    /** Where Apache hands .php files to PHP-FPM ("unix:/run/php/php8.2-fpm.sock"); empty: PHP's module. */
    QString phpFastCgi;
    QString phpFpmProgram; ///< the PHP-FPM listening there, to be asked for its php.ini (empty: none found)
    QString phpFpmService; ///< its service: php8.2-fpm, php-fpm
    /** The service names its packaging gives (Fedora: httpd, mariadb); empty: the usual. */
    QString apacheService;
    QString mysqlService;

    bool configFilesFound() const;
    /**
     * Apache's program with @p options (e.g. -t, -S) on this installation's configuration; no
     * program without one.
     */
    ApacheInvocation apacheInvocation(const QStringList& options) const;
    /** The lines the rewrite of siteFiles adds after DocumentRoot so that @p documentRoot is served. */
    QStringList accessLines(const QString& documentRoot) const
    {
        return access.linesFor(documentRoot, siteFiles);
    }
};

/**
 * The installation in @p apacheFolder, used exactly as typed. A folder with conf/httpd.conf, or
 * without apache2.conf, has its php.ini and conf/httpd.conf right there: the folder's text followed
 * by the system's separator and the names (a folder typed with a trailing separator gets a doubled
 * one). A folder with apache2.conf and no conf/httpd.conf is laid out as Debian lays it out: its
 * DocumentRoot and DirectoryIndex lines stand in the files it includes, and PHP reads the php.ini
 * of the PHP version whose module is enabled. Wherever the configuration Apache reads sets
 * PHPIniDir, the php.ini in that folder is the one PHP reads. Where Apache hands .php files to
 * PHP-FPM instead, the PHP-FPM whose pool listens there is found among @p packages (its php.ini is
 * left for that program to name: phpIni stays empty). A folder with conf/httpd.conf and
 * conf.modules.d/ is laid out as Fedora's httpd package lays out /etc/httpd: its services are httpd
 * and mariadb, and its program is the system's httpd.
 */
Installation LocateInstallation(const QString& apacheFolder,
                                const PackageFolders& packages = SystemPackageFolders());

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

/**
 * The Apache folder the window starts with: the folder of the first installed service whose
 * program is there as some FOLDER\bin\httpd.exe; else the first of this system's usual folders
 * that is there (of several versions side by side, the highest); else the system's default.
 */
QString DefaultApacheFolder(const FolderLookup& lookup = {});

} // namespace config
