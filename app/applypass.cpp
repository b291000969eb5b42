// SPDX-License-Identifier: MIT
#include "applypass.h"

#include "config/apachesyntax.h"
#include "config/rewriter.h"
#include "platform/apachehost.h"
#include "services/apachelog.h"
#include "services/serviceactions.h"

#include <QDir>

#include <QFileInfo>
#include <algorithm>

namespace app {

namespace {

// Only the blank is trimmed from the document root; a tab or other space stays part of the name.
QString TrimBlanks(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

// The ports of Apache's Listen lines ("80", "0.0.0.0:8080", "[::]:81 http"), each once.
QList<quint16> ListenPorts(const QStringList& listen)
{
    QList<quint16> ports;
    for (const QString& argument : listen) {
        const QString address = argument.trimmed().section(QLatin1Char(' '), 0, 0);
        bool ok = false;
        const quint16 port = address.mid(address.lastIndexOf(QLatin1Char(':')) + 1).toUShort(&ok);
        if (ok && port && !ports.contains(port))
            ports << port;
    }
    return ports;
}

// MySQL's and MariaDB's port unless their own configuration says otherwise.
constexpr quint16 kMySqlPort = 3306;

// True when @p folder holds one of the index pages of the DirectoryIndex @p list.
bool HoldsIndexPage(const QString& folder, const QString& list)
{
    const QStringList pages = list.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return std::any_of(pages.begin(), pages.end(), [&](const QString& page) {
        return QFileInfo::exists(
            QDir(folder).filePath(page.startsWith(QLatin1Char('/')) ? page.mid(1) : page));
    });
}

} // namespace

// How long Apache's configuration test may take.
constexpr std::chrono::seconds kTestTimeout{10};

ApplyPass::ApplyPass(ApplyPassSeams seams) : m_seams(std::move(seams))
{
    if (!m_seams.runProgram)
        m_seams.runProgram = [](const config::ApacheInvocation& invocation) {
            // Apache writes file names in UTF-8 on Windows too, whatever the console's code page.
            return services::RunProcess(invocation.program, invocation.arguments, kTestTimeout,
                                        services::OutputEncoding::Utf8OrConsole, invocation.environment);
        };
    if (!m_seams.requestPage)
        m_seams.requestPage = [](const QUrl& url) { return services::RequestPage(url); };
}

PassReport ApplyPass::run(const SettingsState& settings)
{
    m_settings = settings;
    m_report = PassReport();
    if (ApplyFileSettings())
        ApplyServiceActions();
    return std::move(m_report);
}

bool ApplyPass::CheckConfigFiles()
{
    config::Installation& installation = m_report.installation;
    installation = config::LocateInstallation(m_settings.apacheFolder, m_seams.packageFolders);
    // PHP-FPM names the php.ini it loads itself ("Loaded Configuration File => …"), bounded as Apache's test.
    if (!installation.phpFpmProgram.isEmpty()) {
        const services::CommandOutcome info =
            m_seams.runProgram({installation.phpFpmProgram, {QStringLiteral("-i")}, {}});
        if (info.succeeded())
            installation.phpIni = config::LoadedPhpIni(info.output);
    }
    return installation.configFilesFound();
}

bool ApplyPass::ApplyFileSettings()
{
    if (!CheckConfigFiles()) {
        m_report.outcome = PassReport::Outcome::FilesMissing;
        return false;
    }
    m_report.documentRoot = TrimBlanks(m_settings.documentRoot);
    if (m_seams.documentRootTrimmed)
        m_seams.documentRootTrimmed(m_report.documentRoot);
    m_report.refused = config::CheckValues(m_report.documentRoot, m_settings.directoryIndex);
    if (m_report.refused) {
        m_report.outcome = PassReport::Outcome::ValueRefused;
        return false;
    }

    m_report.outcome = PassReport::Outcome::FileNotChanged;
    // Only a configuration Apache accepted before can be told apart from one the change broke.
    m_report.testBefore = TestConfiguration();
    const bool undoable = m_report.testBefore && m_report.testBefore->passed;
    m_undo.forget();
    const auto keep = [this](const QString& path) {
        QString error;
        if (m_undo.keep(path, &error))
            return true;
        m_report.files.push_back({QDir::toNativeSeparators(path), error, {}});
        return false;
    };
    setStatus(QStringLiteral("正在设置文件:php.ini"));
    if ((undoable && m_settings.showErrors && !keep(m_report.installation.phpIni)) || !UpdatePhpIni()) {
        setStatus(QString());
        return false;
    }
    setStatus(QStringLiteral("正在设置文件:httpd.conf"));
    const QStringList& siteFiles = m_report.installation.siteFiles;
    if ((undoable && !std::all_of(siteFiles.begin(), siteFiles.end(), keep)) || !UpdateHttpdConf()) {
        setStatus(QString());
        return false;
    }
    setStatus(QString());

    // An existing folder, a missing parent or an unusable name does not stop the pass: Apache's
    // test, which needs the folder to exist, has the last word.
    m_report.folderCreated = QDir().mkdir(m_report.documentRoot);
    m_report.testAfter = TestConfiguration();
    if (undoable && !m_report.testAfter->passed)
        return Undo();
    m_undo.forget();
    m_report.outcome = PassReport::Outcome::Applied;
    // Apache's own account of what it will run: its error log, its user, its virtual hosts.
    if (!m_report.installation.apacheProgram.isEmpty())
        m_listing = services::ReadListing(RunApache({QStringLiteral("-S")}).output);
    return true;
}

services::CommandOutcome ApplyPass::RunApache(const QStringList& options)
{
    return m_seams.runProgram(m_report.installation.apacheInvocation(options));
}

std::optional<PassReport::ApacheTest> ApplyPass::TestConfiguration()
{
    if (m_report.installation.apacheProgram.isEmpty())
        return std::nullopt;
    const services::CommandOutcome outcome = RunApache({QStringLiteral("-t")});
    if (outcome.succeeded())
        return PassReport::ApacheTest{true, {}};
    QStringList lines = outcome.outputLines();
    if (lines.isEmpty())
        lines << (outcome.reason.isEmpty() ? QStringLiteral("exit %1").arg(outcome.exitCode)
                                           : outcome.reason);
    return PassReport::ApacheTest{false, lines};
}

bool ApplyPass::Undo()
{
    m_report.notRestored = m_undo.restore();
    if (m_report.folderCreated)
        m_report.folderCreated = !QDir().rmdir(m_report.documentRoot);
    m_report.outcome = PassReport::Outcome::Rejected;
    return false;
}

bool ApplyPass::UpdatePhpIni()
{
    if (m_settings.showErrors && m_report.installation.phpIniNamed)
        m_report.phpIniElsewhere = QDir::toNativeSeparators(m_report.installation.phpIni);
    m_report.files.push_back(
        config::RewriteFile(m_report.installation.phpIni, config::PhpIniPlan(m_settings.showErrors)));
    m_phpFpmIniChanged = !m_report.installation.phpFpmService.isEmpty() && m_report.files.back().changed;
    return m_report.files.back().ok();
}

bool ApplyPass::UpdateHttpdConf()
{
    // Where the lines stand in several files (Debian's layout), a setting is made when one has it.
    QStringList notSet{QLatin1String(config::kDocumentRoot), QLatin1String(config::kDirectoryIndex)};
    // Decided on the configuration as it stands, before any of its files changes.
    const config::Installation& installation = m_report.installation;
    const QStringList accessLines =
        installation.access.linesFor(m_report.documentRoot, installation.siteFiles);
    for (const QString& file : installation.siteFiles) {
        m_report.files.push_back(config::RewriteFile(
            file, config::HttpdConfPlan(m_report.documentRoot, m_settings.directoryIndex, accessLines)));
        if (!m_report.files.back().ok())
            return false;
        const QStringList notSetHere = m_report.files.back().notSet;
        notSet.erase(std::remove_if(notSet.begin(), notSet.end(),
                                    [&](const QString& name) { return !notSetHere.contains(name); }),
                     notSet.end());
    }
    m_report.notSet = notSet;
    return true;
}

QStringList ApplyPass::ErrorLogs() const
{
    return m_listing.errorLog.isEmpty() ? m_report.installation.errorLogs : QStringList{m_listing.errorLog};
}

void ApplyPass::ApplyServiceActions()
{
    using services::ServiceAction;
    // Windows installations register their own names (Apache2.4, MySQL80); the folder tells them apart.
    services::ServiceNames names =
        services::FindServiceNames(m_seams.installedServices(), m_settings.apacheFolder);
    // Fedora's packages name them httpd and mariadb.
    if (!m_report.installation.apacheService.isEmpty())
        names.apache = m_report.installation.apacheService;
    if (!m_report.installation.mysqlService.isEmpty())
        names.mysql = m_report.installation.mysqlService;
    m_report.serviceNote = names.note;
    services::ApacheLogRunner runner(*m_seams.runner, ErrorLogs());
    // A start of a running Apache changes nothing: it reads its configuration only when it starts.
    const ServiceAction apache = m_settings.apacheAction;
    m_report.apacheWasRunning =
        apache == ServiceAction::Start &&
        runner.isRunning({services::Service::Apache, services::Verb::Start, names.apache}).value_or(false);
    m_report.commands = services::ApplyServiceActions(apache, m_settings.mysqlAction, names, runner,
                                                      [this](const QString& text) { setStatus(text); });
    RestartPhpFpm(runner);
    bool apacheStarted = apache == ServiceAction::Start || apache == ServiceAction::Restart;
    for (const services::CommandRecord& record : m_report.commands) {
        // The most common reason a server does not start: another program holds its port.
        if (record.command.verb == services::Verb::Start && !record.outcome.succeeded())
            NamePortHolders(record.command.service);
        if (record.command.service != services::Service::Apache)
            continue;
        apacheStarted = apacheStarted && record.outcome.succeeded();
        m_report.apacheWasRunning =
            m_report.apacheWasRunning || (apache == ServiceAction::Start && record.outcome.alreadyInState);
    }
    if (apacheStarted && !m_report.apacheWasRunning)
        CheckSite();
    setStatus(QString());
}

void ApplyPass::NamePortHolders(services::Service service)
{
    // PHP-FPM listens on a socket file as Debian and Fedora set it up: no port to name.
    QList<quint16> ports;
    if (service == services::Service::Apache)
        ports = ListenPorts(m_report.installation.listen);
    else if (service == services::Service::MySql)
        ports = {kMySqlPort};
    for (const quint16 port : ports)
        for (const platform::PortHolder& holder : m_seams.portHolders(port))
            m_report.portsTaken.push_back({service, port, holder});
}

// PHP-FPM reads its php.ini only when it starts: restarted once Apache has started again, or left
// to read it when it next starts.
void ApplyPass::RestartPhpFpm(services::CommandRunner& runner)
{
    using services::ServiceAction;
    if (!m_phpFpmIniChanged)
        return;
    if (m_settings.apacheAction == ServiceAction::Stop || m_settings.apacheAction == ServiceAction::Pause) {
        m_report.phpFpmLater = true;
        return;
    }
    setStatus(QStringLiteral("正在重启服务:PHP-FPM"));
    for (const services::Verb verb : {services::Verb::Stop, services::Verb::Start})
        m_report.commands.push_back(
            runner.run({services::Service::PhpFpm, verb, m_report.installation.phpFpmService}));
}

void ApplyPass::CheckSite()
{
    const config::Installation& installation = m_report.installation;
    const QUrl url = services::PageAddress(installation.listen);
    if (url.isEmpty())
        return;
    // A virtual host of a file the pass did not change answers there instead of the main server.
    if (!m_listing.output.isEmpty()) {
        const QString host = services::VirtualHostOnPort(m_listing.output, url.port());
        const QString hostFile = QFileInfo(host.section(QLatin1Char(':'), 0, -2)).canonicalFilePath();
        const bool changed = std::any_of(m_report.files.begin(), m_report.files.end(), [&](const auto& file) {
            return QFileInfo(file.path).canonicalFilePath() == hostFile;
        });
        if (!host.isEmpty() && !changed)
            m_report.otherVirtualHost = host;
    }
    const services::LogTail tail(ErrorLogs());
    const services::PageAnswer answer = m_seams.requestPage(url);
    if (answer.servesPage())
        return;
    PassReport::SiteCheck site{url, answer, tail.newLines(), {}};
    site.closedFolder = platform::FirstFolderClosedTo(
        m_report.documentRoot, m_listing.user.isEmpty() ? installation.user : m_listing.user);
    // A new, empty folder: nothing is wrong but the page still to be written.
    if ((answer.status == 403 || answer.status == 404) && site.closedFolder.isEmpty() &&
        !HoldsIndexPage(m_report.documentRoot, m_settings.directoryIndex)) {
        m_report.noIndexPage = m_settings.directoryIndex.simplified();
        return;
    }
    m_report.site = site;
}

void ApplyPass::setStatus(const QString& text)
{
    if (m_seams.setStatus)
        m_seams.setStatus(text);
}

} // namespace app
