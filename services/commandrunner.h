// SPDX-License-Identifier: MIT
#pragma once

#include "servicecommand.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

namespace services {

/** What became of one command. */
struct CommandOutcome
{
    enum class Status {
        Succeeded,
        FailedToStart, ///< the program could not be started; @c reason says why
        Failed,        ///< it ended with a non-zero exit code, or reported failure in its output
        Crashed,       ///< it was ended by a signal or crashed
        TimedOut,      ///< it was still running when the wait ran out and was killed
        NotSupported,  ///< this system has no counterpart of the command; nothing was run
    };

    Status status = Status::Succeeded;
    int exitCode = 0;
    QString output;            ///< both output streams, decoded; at most the first kOutputLimit bytes of them
    QString reason;            ///< the system's reason when the program could not be started
    bool stillRunning = false; ///< timed out and could not be ended either; left behind
    QStringList logLines;      ///< what the service's own log gained while its failed start ran
    bool alreadyInState = false; ///< a net command's service was in the asked state before it already

    bool succeeded() const { return status == Status::Succeeded; }
    /** The output's non-empty lines, trimmed: at most @p maxLines, each cut at @p maxChars characters. */
    QStringList outputLines(int maxLines = 5, int maxChars = 200) const;
};

/** One command of an apply pass, the command line it ran as, and its outcome. */
struct CommandRecord
{
    ServiceCommand command;
    QString commandLine; ///< as run, for the message
    CommandOutcome outcome;
};

/** Runs one service command and waits for it to end. */
class CommandRunner
{
  public:
    virtual ~CommandRunner() = default;
    virtual CommandRecord run(const ServiceCommand& command) = 0;
    /** Whether the service manager reports @p command's service as running; nothing when it cannot tell. */
    virtual std::optional<bool> isRunning(const ServiceCommand& command)
    {
        Q_UNUSED(command);
        return std::nullopt;
    }
};

/** How a program's output bytes are read as text. */
enum class OutputEncoding {
    Console,      ///< the console's code page, as console programs such as net write
    Utf8OrConsole ///< UTF-8 where the bytes are valid UTF-8, else the console's code page
};

/**
 * Starts @p program with @p arguments, without a console window and without standard input, and
 * waits up to @p timeout for it to end while the caller's event loop keeps running (so a window
 * repaints). Its output goes to a temporary file, never a pipe, so a daemon it leaves behind may
 * go on writing. A program still running at the bound is asked to end, then killed, each step
 * waited for at most kEndGrace; one that outlives both is left behind and reported as timed out.
 * A program that cannot be started is not waited for; the reason is the system's. Its output is
 * read as @p encoding says. @p environment: NAME=value entries added to the environment it runs in.
 */
CommandOutcome RunProcess(const QString& program, const QStringList& arguments,
                          std::chrono::milliseconds timeout,
                          OutputEncoding encoding = OutputEncoding::Console,
                          const QStringList& environment = {});

/** How long one service command may take before it counts as hung. */
inline constexpr std::chrono::milliseconds kDefaultCommandTimeout{std::chrono::seconds(120)};

/** How long a hung command is given to end after being asked to, and again after being killed. */
inline constexpr std::chrono::milliseconds kEndGrace{std::chrono::seconds(5)};

/** How much of a command's output is read for the message. */
inline constexpr qint64 kOutputLimit = 64 * 1024;

} // namespace services
