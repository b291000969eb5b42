// SPDX-License-Identifier: MIT
#pragma once

#include "commandrunner.h"

#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

namespace services {

/** The ends of log files as they were when the tail was taken; later tells what was appended since. */
class LogTail
{
  public:
    /** Remembers how long each of @p paths is now (nothing when it is missing). */
    explicit LogTail(const QStringList& paths);

    /**
     * The lines appended since to the first of the files that gained any, decoded from the system
     * code page: at most @p maxLines non-empty lines, each cut at @p maxChars characters. Empty
     * when none grew.
     */
    QStringList newLines(int maxLines = 5, int maxChars = 200) const;

  private:
    std::vector<std::pair<QString, qint64>> m_ends; ///< path, size
};

/**
 * Runs commands through another runner; when Apache's start fails, the lines its error log
 * gained while that command ran go with the command's record, since Apache's own reason (a busy
 * port, a bad directive) is there and not in what the service manager prints.
 */
class ApacheLogRunner : public CommandRunner
{
  public:
    /** @p errorLogs: the files Apache may write its errors to (a missing one is skipped). */
    ApacheLogRunner(CommandRunner& runner, QStringList errorLogs);
    CommandRecord run(const ServiceCommand& command) override;
    std::optional<bool> isRunning(const ServiceCommand& command) override
    {
        return m_runner.isRunning(command);
    }

  private:
    CommandRunner& m_runner;
    QStringList m_errorLogs;
};

} // namespace services
