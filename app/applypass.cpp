// SPDX-License-Identifier: MIT
#include "applypass.h"

#include "services/apachelog.h"
#include "services/serviceactions.h"

#include <QDir>
#include <QFileInfo>

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

ApplyPass::ApplyPass(ApplyPassSeams seams) : m_seams(std::move(seams)) {}

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
    setStatus(QStringLiteral("正在设置文件:php.ini"));
    if (!UpdatePhpIni()) {
        setStatus(QString());
        return false;
    }
    setStatus(QStringLiteral("正在设置文件:httpd.conf"));
    if (!UpdateHttpdConf()) {
        setStatus(QString());
        return false;
    }
    setStatus(QString());

    // An existing folder, a missing parent or an unusable name does not stop the pass.
    m_report.folderCreated = QDir().mkdir(m_report.documentRoot);
    m_report.outcome = PassReport::Outcome::Applied;
    return true;
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
    // Windows installations register their own names (Apache2.4, MySQL80); the folder tells them apart.
    const services::ServiceNames names =
        services::FindServiceNames(m_seams.installedServices(), m_settings.apacheFolder);
    m_report.serviceNote = names.note;
    services::ApacheLogRunner runner(*m_seams.runner, m_report.installation.errorLogs());
    m_report.commands =
        services::ApplyServiceActions(m_settings.apacheAction, m_settings.mysqlAction, names, runner,
                                      [this](const QString& text) { setStatus(text); });
    setStatus(QString());
}

void ApplyPass::setStatus(const QString& text)
{
    if (m_seams.setStatus)
        m_seams.setStatus(text);
}

} // namespace app
