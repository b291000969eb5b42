// SPDX-License-Identifier: MIT
#pragma once

#include "commandrunner.h"

#include <QString>
#include <QStringList>

namespace services {

/** The end of a log file as it was when the tail was taken; later tells what was appended since. */
class LogTail
{
  public:
    /** Remembers how long @p path is now (nothing when it is missing). */
    explicit LogTail(QString path);

    /**
     * The lines appended to the file since, decoded from the system code page: at most
     * @p maxLines non-empty lines, each cut at @p maxChars characters. Empty when it did not grow.
     */
    QStringList newLines(int maxLines = 5, int maxChars = 200) const;

  private:
    QString m_path;
    qint64 m_size = 0;
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
