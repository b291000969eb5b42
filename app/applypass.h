// SPDX-License-Identifier: MIT
#pragma once

#include "config/installation.h"
#include "config/rewritefile.h"
#include "platform/servicelist.h"
#include "services/commandrunner.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

namespace app {

/** The values an apply pass works with, read from the window when it starts. */
struct SettingsState
{
    QString documentRoot;
    QString directoryIndex;
    QString apacheFolder;
    bool showErrors = true;
    services::ServiceAction apacheAction = services::ServiceAction::Start;
    services::ServiceAction mysqlAction = services::ServiceAction::Start;
};

/** What one apply pass did, step by step. */
struct PassReport
{
    enum class Outcome {
        FilesMissing,   ///< php.ini or httpd.conf is not there: nothing was touched
        ValueRefused,   ///< a value cannot be written safely: nothing was touched
        FileNotChanged, ///< a file could not be rewritten (the last of @c files says why): no command ran
        Applied,        ///< the files were changed and the commands ran
    };

    Outcome outcome = Outcome::FilesMissing;
    config::Installation installation;
    QString documentRoot;                        ///< trimmed, as written
    std::optional<config::ValueProblem> refused; ///< when ValueRefused
    std::vector<config::RewriteResult> files;    ///< each file rewritten or tried, in order
    QStringList notSet;                          ///< httpd.conf settings that found no line
    bool folderCreated = false;                  ///< the document root was made by this pass
    std::vector<services::CommandRecord> commands;
    QString serviceNote; ///< which service was used where several fit one (empty: none did)
};

/** What the pass reaches outside itself; tests replace each. */
struct ApplyPassSeams
{
    /** Shows the step in progress (empty: none). */
    std::function<void(const QString& text)> setStatus;
    /** Gets the document root once trimmed, before the files are changed. */
    std::function<void(const QString& documentRoot)> documentRootTrimmed;
    /** Runs the service commands. */
    services::CommandRunner* runner = nullptr;
    /** Lists the installed services, asked once before the commands run. */
    std::function<std::vector<platform::InstalledService>()> installedServices = platform::InstalledServices;
};

/**
 * An apply pass: finds the installation's configuration files, rewrites them, creates the
 * document root and runs the chosen service commands, in that order, and reports what it did.
 * Missing files or unsafe values stop it before anything is touched; a file that cannot be
 * rewritten stops it before any service command runs.
 */
class ApplyPass
{
  public:
    explicit ApplyPass(ApplyPassSeams seams);
    PassReport run(const SettingsState& settings);

  private:
    bool CheckConfigFiles();
    bool ApplyFileSettings();
    bool UpdatePhpIni();
    bool UpdateHttpdConf();
    void ApplyServiceActions();
    void setStatus(const QString& text);

    ApplyPassSeams m_seams;
    SettingsState m_settings;
    PassReport m_report;
};

} // namespace app
