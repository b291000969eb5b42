// SPDX-License-Identifier: MIT
// What the tests share: file reads and writes, a program run to its end, an Apache folder, a FakeRunner.
#pragma once

#include "services/commandrunner.h"

#include <QDir>
#include <QHash>
#include <QProcess>

#include <vector>

namespace testutil {

inline QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

inline bool WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

struct Run
{
    int exitCode = -1; ///< -1 when it did not end normally
    QString output;    ///< both streams
};

inline Run RunProgram(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(60000))
        return {-1, process.errorString()};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAll())};
}

// Shell commands run in @p folder; none: a success.
inline Run RunIn(const QString& folder, const QString& commands)
{
    return commands.isEmpty() ? Run{0, {}} : RunProgram("sh", {"-c", "cd \"$0\" && " + commands, folder});
}

// An Apache folder as installed: conf/httpd.conf of the shape Apache 2.4 ships (data/httpd.conf, CR LF)
// listening on 127.0.0.1:port, extra among its LoadModule lines; php.ini; htdocs and logs.
inline bool MakeApacheFolder(const QString& folder, quint16 port = 8, const QString& extra = {})
{
    const QString conf = QString::fromUtf8(ReadAll(BRELLIMAR_TEST_DATA "/httpd.conf"))
                             .replace("@SRVROOT@", folder)
                             .replace("@PORT@", QString::number(port))
                             .replace("@EXTRA@", extra)
                             .replace("\n", "\r\n");
    const QDir dir(folder);
    return dir.mkpath("conf") && dir.mkpath("htdocs") && dir.mkpath("logs") &&
           WriteAll(dir.filePath("conf/httpd.conf"), conf.toUtf8()) &&
           WriteAll(dir.filePath("php.ini"), "[PHP]\r\n; display_errors = On\r\ndisplay_errors = Off\r\n");
}

// Runs nothing: logs each command (net's command line) with the status text shown meanwhile, and
// answers it as told, by default with success. The status texts can go into the log too: Show.
struct FakeRunner : services::CommandRunner
{
    QStringList log;
    QString status;
    QHash<QString, services::CommandOutcome> answers; // by net's command line
    std::optional<bool> running;                      // what the service manager says of each service
    void Show(const QString& text) { log << (status = text); }
    services::CommandRecord run(const services::ServiceCommand& command) override
    {
        const QString line = command.netCommandLine();
        log << line + " | " + status;
        return {command, line, answers.value(line)};
    }
    std::optional<bool> isRunning(const services::ServiceCommand&) override { return running; }
};

// /etc/httpd as Fedora's httpd and php-fpm packages lay it out, under @p root (etc/, usr/sbin/, var/www/):
// conf/httpd.conf including conf.modules.d/*.conf and conf.d/*.conf, PHP handed to PHP-FPM's www pool
// by conf.d/php.conf, /etc/php.ini. Debian's Apache stands in for httpd (its modules for modules/), and
// usr/sbin/php-fpm answers -i as PHP-FPM does. Apache listens on 127.0.0.1:port.
inline bool MakeFedoraTree(const QString& root, quint16 port)
{
    const std::vector<std::pair<QString, QString>> files{
        {"etc/httpd/conf/httpd.conf",
         "ServerRoot \"%1/etc/httpd\"\nListen 127.0.0.1:%2\nInclude conf.modules.d/*.conf\n"
         "<Directory />\n    AllowOverride none\n    Require all denied\n</Directory>\n"
         "DocumentRoot \"%1/var/www/html\"\n<Directory \"%1/var/www\">\n    AllowOverride None\n"
         "    Require all granted\n</Directory>\n<IfModule dir_module>\n    DirectoryIndex index.html\n"
         "</IfModule>\nErrorLog \"logs/error_log\"\nIncludeOptional conf.d/*.conf\n"},
        {"etc/httpd/conf.modules.d/00-base.conf",
         "LoadModule authz_core_module modules/mod_authz_core.so\nLoadModule dir_module modules/mod_dir.so\n"
         "LoadModule mime_module modules/mod_mime.so\n"},
        {"etc/httpd/conf.modules.d/00-mpm.conf", "LoadModule mpm_event_module modules/mod_mpm_event.so\n"},
        {"etc/httpd/conf.modules.d/00-proxy.conf", "LoadModule proxy_module modules/mod_proxy.so\nLoadModule "
                                                   "proxy_fcgi_module modules/mod_proxy_fcgi.so\n"},
        {"etc/httpd/conf.d/php.conf",
         "AddType text/html .php\nDirectoryIndex index.php\n<IfModule !mod_php5.c>\n  <IfModule "
         "!mod_php7.c>\n"
         "    <IfModule !mod_php.c>\n      <FilesMatch \\.(php|phar)$>\n"
         "        SetHandler \"proxy:unix:/run/php-fpm/www.sock|fcgi://localhost\"\n      </FilesMatch>\n"
         "    </IfModule>\n  </IfModule>\n</IfModule>\n"},
        {"etc/php-fpm.d/www.conf", "[www]\nuser = apache\ngroup = apache\nlisten = /run/php-fpm/www.sock\n"},
        {"etc/php.ini", "[PHP]\ndisplay_errors = Off\n"},
        {"usr/sbin/php-fpm",
         "#!/bin/sh\n[ \"$1\" = -i ] && echo 'Loaded Configuration File => %1/etc/php.ini'\n"}};
    const QDir dir(root);
    for (const auto& [name, content] : files)
        if (!dir.mkpath(QFileInfo(name).path()) ||
            !WriteAll(dir.filePath(name),
                      QString(content).replace("%1", root).replace("%2", QString::number(port)).toUtf8()))
            return false;
    return dir.mkpath("etc/httpd/logs") && dir.mkpath("etc/httpd/run") && dir.mkpath("var/www/html") &&
           QFile::setPermissions(dir.filePath("usr/sbin/php-fpm"), QFile::ReadOwner | QFile::ExeOwner) &&
           QFile::link("/usr/lib/apache2/modules", dir.filePath("etc/httpd/modules")) &&
           QFile::link("/usr/sbin/apache2", dir.filePath("usr/sbin/httpd"));
}

} // namespace testutil
