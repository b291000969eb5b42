// SPDX-License-Identifier: MIT
#pragma once

#include "apacheconfig.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace config {

/**
 * Whether Apache will let a new document root be served, read from its configuration: the
 * DocumentRoot lines and the <Directory> sections, each with the file it stands in. Conditional
 * sections (<IfModule>, <IfDefine>, ...) inside a <Directory> count as taken; lines of any other
 * section nested in it (<Files>, <Limit>, ...) do not count.
 */
class RootAccess
{
  public:
    /** Reads one line, in the order Apache reads them; @p expanded: its text with ${VAR} replaced. */
    void read(const ApacheConfigLine& line, const QString& expanded);

    /**
     * The lines a rewrite of the files @p rewritten adds after each DocumentRoot line it replaces,
     * for RewritePlan::afterDocumentRoot. None when one of those files holds a <Directory> section
     * of an old root (it moves to the new one) or a section with "Require all granted" holds
     * @p newRoot. Otherwise a section for @p newRoot with the Options and AllowOverride lines of the
     * closest section granting an old root, and "Require all granted".
     */
    QStringList linesFor(const QString& newRoot, const QStringList& rewritten) const;

  private:
    struct Folder
    {
        QString file;
        QString written;  ///< as the rewrite compares it: ${VAR} as written
        QString expanded; ///< as Apache reads it
    };
    struct Section
    {
        Folder folder;
        bool grants = false;
        QStringList settings; ///< its Options and AllowOverride lines
    };

    std::vector<Folder> m_roots;
    std::vector<Section> m_sections;
    bool m_inSection = false;
    int m_nested = 0; ///< sections open inside the current <Directory> whose lines do not count
};

} // namespace config
