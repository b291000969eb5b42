// SPDX-License-Identifier: MIT
#include "commandrunner.h"

#include "platform/files.h"
#include "platform/system.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTemporaryFile>
#include <QTimer>

#include <memory>

namespace services {

namespace {

// A command that floods its output is cut back to what the message reads, so the disk does not
// fill up before the bound; the file is appended to, so the writer carries on at its new end.
constexpr qint64 kOutputFileCap = 1024 * 1024;
constexpr std::chrono::milliseconds kOutputCheckInterval{250};

// Runs the caller's event loop until the process has ended or @p limit has passed. Only the
// process's end counts: its output file may stay open in a daemon it started.
bool WaitForEnd(QProcess& process, std::chrono::milliseconds limit, const QString& outputFile)
{
    if (process.state() == QProcess::NotRunning)
        return true;
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QTimer outputCheck;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&outputCheck, &QTimer::timeout, &loop, [&outputFile] {
        if (QFileInfo(outputFile).size() > kOutputFileCap)
            QFile::resize(outputFile, kOutputLimit);
    });
    deadline.start(limit);
    outputCheck.start(kOutputCheckInterval);
    loop.exec();
    return process.state() == QProcess::NotRunning;
}

QByteArray ReadHead(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(kOutputLimit) : QByteArray();
}

QString DecodeOutput(const QByteArray& bytes, OutputEncoding encoding)
{
    if (encoding == OutputEncoding::Utf8OrConsole) {
        // Stateful, so a character cut off at the read limit is dropped rather than an error.
        QStringDecoder utf8(QStringConverter::Utf8);
        const QString text = utf8.decode(bytes);
        if (!utf8.hasError())
            return text;
    }
    return platform::DecodeConsoleOutput(bytes);
}

} // namespace

QStringList CommandOutcome::outputLines(int maxLines, int maxChars) const
{
    QStringList lines;
    for (const QString& line :
         output.split(QRegularExpression(QStringLiteral("[\r\n]")), Qt::SkipEmptyParts)) {
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty())
            continue;
        lines << trimmed.left(maxChars);
        if (lines.size() == maxLines)
            break;
    }
    return lines;
}

CommandOutcome RunProcess(const QString& program, const QStringList& arguments,
                          std::chrono::milliseconds timeout, OutputEncoding encoding,
                          const QStringList& environment)
{
    CommandOutcome outcome;
    QTemporaryFile outputFile(QDir::temp().filePath(QStringLiteral("brellimar-command-XXXXXX.txt")));
    if (!outputFile.open()) {
        outcome.status = CommandOutcome::Status::FailedToStart;
        outcome.reason = outputFile.errorString();
        return outcome;
    }
    outputFile.close(); // kept on disk until outputFile goes
    const QString outputPath = outputFile.fileName();

    auto process = std::make_unique<QProcess>();
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(outputPath, QIODevice::Append);
    if (!environment.isEmpty()) {
        QProcessEnvironment added = QProcessEnvironment::systemEnvironment();
        for (const QString& entry : environment)
            added.insert(entry.section(QLatin1Char('='), 0, 0), entry.section(QLatin1Char('='), 1));
        process->setProcessEnvironment(added);
    }

    // On Windows QProcess starts a console program such as net with CREATE_NO_WINDOW when the
    // caller has no console, so no window flashes up.
    process->start(platform::ProgramToStart(program), arguments);
    // A program that could not be started is reported at once and never waited for.
    if (!process->waitForStarted(-1)) {
        outcome.status = CommandOutcome::Status::FailedToStart;
        outcome.reason = process->errorString();
        return outcome;
    }

    bool ended = WaitForEnd(*process, timeout, outputPath);
    if (!ended) {
        outcome.status = CommandOutcome::Status::TimedOut;
        process->terminate();
        ended = WaitForEnd(*process, kEndGrace, outputPath);
        if (!ended) {
            process->kill();
            ended = WaitForEnd(*process, kEndGrace, outputPath);
        }
        if (!ended) {
            // Stuck beyond a kill (uninterruptible sleep): destroying the QProcess would wait for
            // it again, so it is left to end whenever it can and the pass goes on.
            outcome.stillRunning = true;
            QProcess* abandoned = process.release();
            QObject::connect(abandoned, &QProcess::finished, abandoned, &QObject::deleteLater);
        }
    } else if (process->exitStatus() == QProcess::CrashExit) {
        outcome.status = CommandOutcome::Status::Crashed;
        outcome.reason = process->errorString();
    } else if (process->exitCode() != 0) {
        outcome.status = CommandOutcome::Status::Failed;
    }
    outcome.exitCode = ended && process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
    outcome.output = DecodeOutput(ReadHead(outputPath), encoding);
    return outcome;
}

} // namespace services
