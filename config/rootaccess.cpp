// SPDX-License-Identifier: MIT
#include "rootaccess.h"

#include "apachesyntax.h"

#include <QRegularExpression>

#include <algorithm>

namespace config {

namespace {

bool IsLine(const QString& text, QLatin1String line)
{
    return text.simplified().compare(line, Qt::CaseInsensitive) == 0;
}

} // namespace

void RootAccess::read(const ApacheConfigLine& line)
{
    const QString text = line.text.trimmed();
    // Apache nests no <Directory> and takes no DocumentRoot inside one: both count wherever they stand.
    if (const std::optional<DirectoryOpening> opening = ReadDirectoryOpening(text)) {
        const std::optional<DirectoryOpening> read = ReadDirectoryOpening(line.expanded);
        m_sections.push_back(
            {{line.file, opening->folder, read ? read->folder : QString()}, Access::Unsaid, {}});
        m_inSection = true;
        m_nested = 0;
        return;
    }
    const auto [name, arguments] = SplitDirective(text);
    if (IsDirectiveName(name, "DocumentRoot")) {
        m_roots.push_back(
            {line.file, ApacheArgument(arguments), ApacheArgument(SplitDirective(line.expanded).second)});
        return;
    }
    if (!m_inSection)
        return;
    static const QRegularExpression tag(QStringLiteral("^<(/?)([^\\s>]*)"));
    const QRegularExpressionMatch opening = tag.match(text);
    Access& access = m_sections.back().access;
    if (opening.hasMatch()) {
        const bool closing = !opening.captured(1).isEmpty();
        const QString section = opening.captured(2);
        // <IfModule>, <IfDefine>...: decided when Apache starts, read as taken.
        if (closing && IsDirectiveName(section, "Directory"))
            m_inSection = false;
        else if (section.size() <= 2 || !section.startsWith(QLatin1String("If"), Qt::CaseInsensitive))
            m_nested += closing ? -1 : 1;
    } else if (m_nested > 0) {
        return;
    } else if (IsLine(text, QLatin1String("Require all granted")) ||
               IsLine(text, QLatin1String("Allow from all"))) {
        access = Access::Granted;
    } else if (IsLine(text, QLatin1String("Require all denied"))) {
        access = Access::Denied;
    } else if (IsLine(text, QLatin1String("Deny from all"))) {
        access = Access::DeniedFromAll;
    } else if (!arguments.isEmpty() &&
               (IsDirectiveName(name, "Options") || IsDirectiveName(name, "AllowOverride"))) {
        m_sections.back().settings << text;
    }
}

QStringList RootAccess::linesFor(const QString& newRoot, const QStringList& rewritten) const
{
    std::vector<const Folder*> roots;
    for (const Folder& root : m_roots)
        if (rewritten.contains(root.file))
            roots.push_back(&root);
    const Section* decides = nullptr; // the closest section holding the new root that grants or denies
    qsizetype decidesLength = -1;
    const Section* closest = nullptr; // the closest section granting an old root
    for (const Section& section : m_sections) {
        // The rewrite moves a section of an old root (never one of the file-system root) along.
        const bool moves = rewritten.contains(section.folder.file) &&
                           !IsFileSystemRoot(section.folder.written) &&
                           std::any_of(roots.begin(), roots.end(), [&](const Folder* root) {
                               return SameApacheFolder(root->written, section.folder.written);
                           });
        const bool holds = moves || ApacheFolderHolds(section.folder.expanded, newRoot);
        // Of sections for the same folder, Apache lets the later one decide.
        const qsizetype length = moves ? newRoot.size() : section.folder.expanded.size();
        if (holds && section.access != Access::Unsaid && length >= decidesLength) {
            decides = &section;
            decidesLength = length;
        }
        const bool grantsOld = section.access == Access::Granted &&
                               std::any_of(roots.begin(), roots.end(), [&](const Folder* root) {
                                   return ApacheFolderHolds(section.folder.expanded, root->expanded);
                               });
        if (grantsOld && (!closest || section.folder.expanded.size() > closest->folder.expanded.size()))
            closest = &section;
    }
    if (!decides || decides->access == Access::Granted)
        return {};
    QStringList lines{QStringLiteral("<Directory \"") + QuoteForApache(newRoot) + QStringLiteral("\">")};
    for (const QString& setting : closest ? closest->settings : QStringList())
        lines << QLatin1Char('\t') + setting;
    if (decides->access == Access::DeniedFromAll)
        lines << QStringLiteral("\tOrder allow,deny") << QStringLiteral("\tAllow from all");
    else
        lines << QStringLiteral("\tRequire all granted");
    return lines << QStringLiteral("</Directory>");
}

} // namespace config
