// SPDX-License-Identifier: MIT
#include "commandrunner.h"

#include "platform/files.h"

#include <QEventLoop>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>

namespace services {

QString CommandOutcome::firstOutputLine() const
{
    const QStringList lines = output.split(QRegularExpression(QStringLiteral("[\r\n]")), Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        const QString trimmed = line.trimmed();
        if (!trimmed.isEmpty())
            return trimmed;
    }
    return {};
}

CommandOutcome RunProcess(const QString& program, const QStringList& arguments,
                          std::chrono::milliseconds timeout)
{
    CommandOutcome outcome;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());

    // On Windows QProcess starts a console program such as net with CREATE_NO_WINDOW when the
    // caller has no console, so no window flashes up.
    process.start(program, arguments);
    // A program that could not be started is reported at once and never waited for.
    if (!process.waitForStarted(-1)) {
        outcome.status = CommandOutcome::Status::FailedToStart;
        outcome.reason = process.errorString();
        return outcome;
    }

    // Wait in a local event loop rather than blocking, so the window keeps repainting; the
    // window itself keeps user input away while a pass runs.
    bool timedOut = false;
    if (process.state() != QProcess::NotRunning) {
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
        QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
            timedOut = true;
            loop.quit();
        });
        timer.start(timeout);
        loop.exec();
    }
    if (timedOut && process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(-1);
        outcome.status = CommandOutcome::Status::TimedOut;
    } else if (process.exitStatus() == QProcess::CrashExit) {
        outcome.status = CommandOutcome::Status::Crashed;
        outcome.reason = process.errorString();
    } else if (process.exitCode() != 0) {
        outcome.status = CommandOutcome::Status::Failed;
    }
    outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    outcome.output = platform::DecodeConsoleOutput(process.readAll());
    return outcome;
}

} // namespace services
