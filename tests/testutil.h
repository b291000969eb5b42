// SPDX-License-Identifier: MIT
// What the tests share: file reads and writes, a program run to its end, an Apache folder, a FakeRunner.
#pragma once

#include "services/commandrunner.h"

#include <QDir>
#include <QHash>
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

} // namespace testutil
