// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

#include <chrono>

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
    QString output; ///< both output streams, decoded
    QString reason; ///< the system's reason when the program could not be started

    bool succeeded() const { return status == Status::Succeeded; }
    /** First non-empty line of the output, trimmed. */
    QString firstOutputLine() const;
};

/** One command of an apply pass, as it was actually run, and its outcome. */
struct CommandRecord
{
    QString commandLine;
    CommandOutcome outcome;
};

/** Runs one service command line (as the command table writes it) and waits for it to end. */
class CommandRunner
{
  public:
    virtual ~CommandRunner() = default;
    virtual CommandRecord run(const QString& commandLine) = 0;
};

/**
 * Starts @p program with @p arguments, without a console window and without standard input, and
 * waits up to @p timeout for it to end while the caller's event loop keeps running (so a window
 * repaints). A program still running then is killed. A program that cannot be started is not
 * waited for.
 */
CommandOutcome RunProcess(const QString& program, const QStringList& arguments,
                          std::chrono::milliseconds timeout);

/** How long one service command may take before it counts as hung. */
inline constexpr std::chrono::milliseconds kDefaultCommandTimeout{std::chrono::seconds(120)};

} // namespace services
