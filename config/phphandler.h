// SPDX-License-Identifier: MIT
#pragma once

#include "apacheconfig.h"
#include "platform/apachehost.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace config {

/**
 * How Apache hands .php files to PHP: its module, or PHP-FPM through SetHandler "proxy:unix:…|fcgi://…",
 * SetHandler proxy:fcgi://HOST:PORT or ProxyPassMatch … fcgi://…; the last one read counts. <IfModule>
 * is weighed against the LoadModule lines before it, as Apache does (Debian's php8.2-fpm.conf).
 */
class PhpHandlerReader
{
  public:
    /** Reads one line, in the order Apache reads them. */
    void read(const ApacheConfigLine& line);

    /** Where PHP-FPM is reached ("unix:/run/php/php8.2-fpm.sock", "127.0.0.1:9000"); empty: not PHP-FPM. */
    QString fastCgiAddress() const { return m_address; }

  private:
    bool loaded(const QString& module) const;

    QStringList m_loaded;     ///< the modules of the LoadModule lines read so far, by identifier
    std::vector<bool> m_open; ///< the <IfModule> sections open, each true when Apache takes it
    QString m_address;
};

/** Where packages put PHP-FPM's pools and programs: this system's (none on Windows), or a test's trees. */
struct PackageFolders
{
    QString phpVersions = platform::DebianPhpFolder();        ///< /etc/php: VERSION/fpm/pool.d/*.conf
    QString phpFpmPools = platform::FedoraPhpFpmPoolFolder(); ///< Fedora's /etc/php-fpm.d/*.conf
    QString programs = platform::PackageProgramFolder();      ///< /usr/sbin: php-fpm8.2, php-fpm, httpd
};

/** A PHP-FPM installed by a package: the program to ask which php.ini it reads, and its service. */
struct PhpFpm
{
    QString program; ///< php-fpm8.2 (Debian), php-fpm (Fedora)
    QString service; ///< php8.2-fpm (Debian), php-fpm (Fedora)
};

/**
 * The PHP-FPM with a pool whose "listen =" names the socket at @p address, or its port on the same or
 * every address: Debian's versions in turn, then Fedora's.
 */
std::optional<PhpFpm> FindPhpFpm(const QString& address, const PackageFolders& folders);

/** The php.ini that a PHP program's -i output names ("Loaded Configuration File => …"); empty: none. */
QString LoadedPhpIni(const QString& phpInfo);

} // namespace config
