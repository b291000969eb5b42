// SPDX-License-Identifier: MIT
#include "applypass.h"

#include "config/apachesyntax.h"
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

} // namespace

// How long Apache's configuration test may take.
constexpr std::chrono::seconds kTestTimeout{10};

ApplyPass::ApplyPass(ApplyPassSeams seams) : m_seams(std::move(seams))
{
    if (!m_seams.runProgram)
        m_seams.runProgram = [](const QString& program, const QStringList& arguments) {
            return services::RunProcess(program, arguments, kTestTimeout);
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
    m_report.installation = config::LocateInstallation(m_settings.apacheFolder);
    return m_report.installation.configFilesFound();
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
    if ((undoable && !keep(m_report.installation.httpdConf)) || !UpdateHttpdConf()) {
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
    return true;
}

std::optional<PassReport::ApacheTest> ApplyPass::TestConfiguration()
{
    const QString& program = m_report.installation.apacheProgram;
    if (program.isEmpty())
        return std::nullopt;
    const services::CommandOutcome outcome =
        m_seams.runProgram(program, {QStringLiteral("-t"), QStringLiteral("-f"),
                                     QDir::toNativeSeparators(m_report.installation.httpdConf)});
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
    m_report.files.push_back(config::RewritePhpIni(m_report.installation.phpIni, m_settings.showErrors));
    return m_report.files.back().ok();
}

bool ApplyPass::UpdateHttpdConf()
{
    m_report.files.push_back(config::RewriteHttpdConf(m_report.installation.httpdConf, m_report.documentRoot,
                                                      m_settings.directoryIndex));
    m_report.notSet = m_report.files.back().notSet;
    return m_report.files.back().ok();
}

void ApplyPass::ApplyServiceActions()
{
    using services::ServiceAction;
    // Windows installations register their own names (Apache2.4, MySQL80); the folder tells them apart.
    const services::ServiceNames names =
        services::FindServiceNames(m_seams.installedServices(), m_settings.apacheFolder);
    m_report.serviceNote = names.note;
    services::ApacheLogRunner runner(*m_seams.runner, m_report.installation.errorLogs());
    // A start of a running Apache changes nothing: it reads its configuration only when it starts.
    const ServiceAction apache = m_settings.apacheAction;
    m_report.apacheWasRunning =
        apache == ServiceAction::Start &&
        runner.isRunning({services::Service::Apache, services::Verb::Start, names.apache}).value_or(false);
    m_report.commands = services::ApplyServiceActions(apache, m_settings.mysqlAction, names, runner,
                                                      [this](const QString& text) { setStatus(text); });
    bool apacheStarted = apache == ServiceAction::Start || apache == ServiceAction::Restart;
    for (const services::CommandRecord& record : m_report.commands) {
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

void ApplyPass::CheckSite()
{
    const config::Installation& installation = m_report.installation;
    const QUrl url = config::PageAddress(installation.directiveValues(QStringLiteral("Listen")));
    if (url.isEmpty())
        return;
    // A virtual host of a file the pass did not change answers there instead of the main server.
    if (!installation.apacheProgram.isEmpty()) {
        const services::CommandOutcome listing = m_seams.runProgram(
            installation.apacheProgram,
            {QStringLiteral("-S"), QStringLiteral("-f"), QDir::toNativeSeparators(installation.httpdConf)});
        const QString host = config::VirtualHostOnPort(listing.output, url.port());
        const QString hostFile = QFileInfo(host.section(QLatin1Char(':'), 0, -2)).canonicalFilePath();
        const bool changed = std::any_of(m_report.files.begin(), m_report.files.end(), [&](const auto& file) {
            return QFileInfo(file.path).canonicalFilePath() == hostFile;
        });
        if (!host.isEmpty() && !changed)
            m_report.otherVirtualHost = host;
    }
    std::vector<services::LogTail> tails;
    for (const QString& log : installation.errorLogs())
        tails.emplace_back(log);
    const services::PageAnswer answer = m_seams.requestPage(url);
    if (answer.servesPage())
        return;
    PassReport::SiteCheck site{url, answer, {}, {}};
    for (const services::LogTail& tail : tails)
        if (site.logLines.isEmpty())
            site.logLines = tail.newLines();
    site.closedFolder = platform::FirstFolderClosedTo(
        m_report.documentRoot, installation.directiveValues(QStringLiteral("User")).value(0));
    m_report.site = site;
}

void ApplyPass::setStatus(const QString& text)
{
    if (m_seams.setStatus)
        m_seams.setStatus(text);
}

} // namespace app
