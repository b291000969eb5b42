// SPDX-License-Identifier: MIT
#pragma once

#include "config/apachesyntax.h"
#include "config/installation.h"
#include "config/rewritefile.h"
#include "platform/fileundo.h"
#include "platform/portholders.h"
#include "platform/servicelist.h"
#include "services/commandrunner.h"
#include "services/siterequest.h"

#include <QString>
#include <QStringList>
#include <QUrl>

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
        Rejected,       ///< Apache's test refused the changed files: they were put back, no command ran
        Applied,        ///< the files were changed and the commands ran
    };

    /** What Apache's own configuration test said. */
    struct ApacheTest
    {
        bool passed = false;
        QStringList lines{}; ///< its reason when it failed
    };

    /** The new document root asked for after the commands, when Apache did not serve it. */
    struct SiteCheck
    {
        QUrl url{};
        services::PageAnswer answer{};
        QStringList logLines{}; ///< what Apache's error log gained meanwhile
        QString closedFolder{}; ///< a folder on the way that Apache's user cannot enter
    };

    /** A port a service needs, held by another process, when its start failed. */
    struct PortTaken
    {
        services::Service service = services::Service::Apache;
        quint16 port = 0;
        platform::PortHolder holder{};
    };

    Outcome outcome = Outcome::FilesMissing;
    config::Installation installation{};
    QString documentRoot{};                        ///< trimmed, as written
    std::optional<config::ValueProblem> refused{}; ///< when ValueRefused
    std::vector<config::RewriteResult> files{};    ///< each file rewritten or tried, in order
    QStringList notSet{};                          ///< httpd.conf settings that found no line
    bool folderCreated = false;                    ///< the document root was made by this pass
    std::optional<ApacheTest> testBefore{};        ///< before any change; none without Apache's program
    std::optional<ApacheTest> testAfter{};         ///< after the files and the folder
    QStringList notRestored{};                     ///< files a rejected change could not be put back in
    std::vector<services::CommandRecord> commands{};
    bool apacheWasRunning = false;   ///< Start found Apache running: it reads nothing new
    std::optional<SiteCheck> site{}; ///< set when the new root was not served
    std::vector<PortTaken> portsTaken{};
    QString otherVirtualHost{}; ///< "FILE:LINE" of a virtual host answering there instead
    QString serviceNote{};      ///< which service was used where several fit one (empty: none did)
    /** The php.ini changed, where the configuration names one outside the Apache folder. */
    QString phpIniElsewhere{};
    /** PHP-FPM's php.ini changed while Apache was stopped or paused: read at its next start. */
    bool phpFpmLater = false;
    QString noIndexPage{}; ///< the new root answered 403 or 404 holding none of these index pages (as typed)
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
    /** Runs Apache's own program for its configuration test; by default for real, bounded. */
    std::function<services::CommandOutcome(const config::ApacheInvocation& invocation)> runProgram;
    /** Asks a web server for a page; by default a real request. */
    std::function<services::PageAnswer(const QUrl& url)> requestPage;
    /** Lists the installed services, asked once before the commands run. */
    std::function<std::vector<platform::InstalledService>()> installedServices = platform::InstalledServices;
    /** Lists the processes listening on a TCP port, asked when a service did not start. */
    std::function<std::vector<platform::PortHolder>(quint16 port)> portHolders = platform::PortHolders;
    /** Where PHP-FPM's pools and programs are looked for. */
    config::PackageFolders packageFolders;
};

/**
 * An apply pass: finds the installation's configuration files, rewrites them, creates the
 * document root and runs the chosen service commands, in that order, and reports what it did.
 * Missing files or unsafe values stop it before anything is touched; a file that cannot be
 * rewritten stops it before any service command runs. Where the installation has Apache's
 * program, Apache tests the configuration before and after the change; a change it refuses
 * (having accepted the configuration before) is undone whole. After a start or restart the new
 * root is asked for, and a page not served is explained.
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
    std::optional<PassReport::ApacheTest> TestConfiguration();
    services::CommandOutcome RunApache(const QStringList& options);
    QStringList ErrorLogs() const;
    bool Undo();
    void RestartPhpFpm(services::CommandRunner& runner);
    void CheckSite();
    void NamePortHolders(services::Service service);
    void setStatus(const QString& text);

    ApplyPassSeams m_seams;
    SettingsState m_settings;
    PassReport m_report;
    platform::FileUndo m_undo;
    services::ApacheListing m_listing;
    bool m_phpFpmIniChanged = false;
};

} // namespace app
