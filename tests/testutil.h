// SPDX-License-Identifier: MIT
// Small helpers shared by the tests.
#pragma once

#include <QFile>
#include <QProcess>
#include <QString>

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
    int exitCode = -1;
    QString output; ///< both streams
};

/** Runs a program to its end (at most @p timeoutMs); exit code -1 when it did not end normally. */
inline Run RunProgram(const QString& program, const QStringList& arguments, int timeoutMs = 60000)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs))
        return {-1, process.errorString()};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAll())};
}

/**
 * A standalone httpd.conf (CR LF line ends) for /usr/sbin/apache2 -f, keeping everything Apache
 * writes under @p serverRoot, listening on 127.0.0.1:@p port. @p extra goes before DocumentRoot,
 * which is preceded by a commented-out one that must survive rewriting.
 */
inline QByteArray ApacheConf(const QString& serverRoot, quint16 port, const QString& documentRoot,
                             const QString& extra = {})
{
    QString conf = QStringLiteral(R"(# Standalone test configuration
ServerRoot "%1"
ServerName localhost
Listen 127.0.0.1:%2
PidFile "%1/httpd.pid"
ErrorLog "%1/error.log"
DefaultRuntimeDir "%1"
Mutex file:%1 default
LoadModule mpm_prefork_module /usr/lib/apache2/modules/mod_mpm_prefork.so
LoadModule authz_core_module /usr/lib/apache2/modules/mod_authz_core.so
LoadModule dir_module /usr/lib/apache2/modules/mod_dir.so
%4
#DocumentRoot "/nowhere"
DocumentRoot "%3"
<IfModule dir_module>
    DirectoryIndex index.php
</IfModule>
)")
                       .arg(serverRoot, QString::number(port), documentRoot, extra);
    return conf.replace(QLatin1String("\n"), QLatin1String("\r\n")).toUtf8();
}

} // namespace testutil
