// SPDX-License-Identifier: MIT
// What the tests share: whole-file reads and writes, a program run to its end, an Apache folder.
#pragma once

#include <QDir>
#include <QProcess>

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

} // namespace testutil
