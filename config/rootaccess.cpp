// SPDX-License-Identifier: MIT
#include "rootaccess.h"

#include "apachesyntax.h"

#include <QRegularExpression>

#include <algorithm>
#include <optional>

namespace config {

namespace {

// The folder of a <Directory> opening line, read as the rewrite's move reads it.
std::optional<QString> SectionFolder(const QString& text)
{
    const auto [name, folder] = SplitDirective(text);
    if (!IsDirectiveName(name, QLatin1String("<Directory")) || folder.isEmpty())
        return std::nullopt;
    const bool quoted = folder.startsWith(QLatin1Char('"')) || folder.startsWith(QLatin1Char('\''));
    return ApacheArgument(quoted ? folder : folder.section(QLatin1Char('>'), 0, 0));
}

// <IfModule>, <IfDefine>, <IfVersion>...: decided when Apache starts, read as taken.
bool IsConditional(const QString& sectionName)
{
    return sectionName.size() > 2 && sectionName.startsWith(QLatin1String("If"), Qt::CaseInsensitive);
}

} // namespace

void RootAccess::read(const ApacheConfigLine& line, const QString& expanded)
{
    const QString text = line.text.trimmed();
    // Apache nests no <Directory> and takes no DocumentRoot inside one: both count wherever they stand.
    if (const std::optional<QString> folder = SectionFolder(text)) {
        m_sections.push_back(
            {{line.file, *folder, SectionFolder(expanded.trimmed()).value_or(QString())}, false, {}});
        m_inSection = true;
        m_nested = 0;
        return;
    }
    const auto [name, arguments] = SplitDirective(text);
    if (IsDirectiveName(name, QLatin1String("DocumentRoot"))) {
        m_roots.push_back(
            {line.file, ApacheArgument(arguments), ApacheArgument(SplitDirective(expanded).second)});
        return;
    }
    if (!m_inSection)
        return;
    static const QRegularExpression tag(QStringLiteral("^<(/?)([^\\s>]*)"));
    const QRegularExpressionMatch opening = tag.match(text);
    if (opening.hasMatch()) {
        const bool closing = !opening.captured(1).isEmpty();
        if (closing && opening.captured(2).compare(QLatin1String("Directory"), Qt::CaseInsensitive) == 0)
            m_inSection = false;
        else if (!IsConditional(opening.captured(2)))
            m_nested += closing ? -1 : 1;
    } else if (m_nested == 0 &&
               text.simplified().compare(QLatin1String("Require all granted"), Qt::CaseInsensitive) == 0) {
        m_sections.back().grants = true;
    } else if (m_nested == 0 && !arguments.isEmpty() &&
               (IsDirectiveName(name, QLatin1String("Options")) ||
                IsDirectiveName(name, QLatin1String("AllowOverride")))) {
        m_sections.back().settings << text;
    }
}

QStringList RootAccess::linesFor(const QString& newRoot, const QStringList& rewritten) const
{
    std::vector<const Folder*> roots;
    for (const Folder& root : m_roots)
        if (rewritten.contains(root.file))
            roots.push_back(&root);
    const Section* closest = nullptr;
    for (const Section& section : m_sections) {
        // The rewrite moves a section of an old root (never one of the file-system root) along.
        const bool moves = rewritten.contains(section.folder.file) &&
                           !IsFileSystemRoot(section.folder.written) &&
                           std::any_of(roots.begin(), roots.end(), [&](const Folder* root) {
                               return SameApacheFolder(root->written, section.folder.written);
                           });
        if (moves || (section.grants && ApacheFolderHolds(section.folder.expanded, newRoot)))
            return {};
        const bool grantsOld =
            section.grants && std::any_of(roots.begin(), roots.end(), [&](const Folder* root) {
                return ApacheFolderHolds(section.folder.expanded, root->expanded);
            });
        if (grantsOld && (!closest || section.folder.expanded.size() > closest->folder.expanded.size()))
            closest = &section;
    }
    QStringList lines{QStringLiteral("<Directory \"") + QuoteForApache(newRoot) + QStringLiteral("\">")};
    for (const QString& setting : closest ? closest->settings : QStringList())
        lines << QLatin1Char('\t') + setting;
    return lines << QStringLiteral("\tRequire all granted") << QStringLiteral("</Directory>");
}

} // namespace config
