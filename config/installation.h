// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

namespace config {

/** An Apache installation as an apply pass reads and changes it, worked out from its folder. */
struct Installation
{
    QString apacheFolder;  ///< as typed
    QString phpIni;        ///< the php.ini the pass changes
    QString httpdConf;     ///< Apache's main configuration file
    QString apacheProgram; ///< Apache's own program, which tests a configuration; empty when there is none

    /** Both files are there as ordinary files. */
    bool configFilesFound() const;
    /** The files Apache writes its main error log to, as its configuration names them now. */
    QStringList errorLogs() const;
    /** The arguments of every @p directive line of Apache's configuration, in the order Apache reads them. */
    QStringList directiveValues(const QString& directive) const;
};

/**
 * The installation in @p apacheFolder, used exactly as typed: its php.ini and conf/httpd.conf
 * are the folder's text followed by the system's separator and the names, so a folder typed with
 * a trailing separator gets a doubled one.
 */
Installation LocateInstallation(const QString& apacheFolder);

} // namespace config
