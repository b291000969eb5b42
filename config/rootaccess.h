// SPDX-License-Identifier: MIT
#pragma once

#include "apacheconfig.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace config {

/**
 * Whether Apache will serve a new document root, from the DocumentRoot lines and <Directory> sections
 * of its configuration. <IfModule>, <IfDefine>... inside a section count as taken; <Files>, <Limit>...
 * do not count.
 */
class RootAccess
{
  public:
    /** Reads one line, in the order Apache reads them. */
    void read(const ApacheConfigLine& line);

    /**
     * RewritePlan::afterDocumentRoot for a rewrite of the files @p rewritten: nothing unless the closest
     * section holding @p newRoot that decides (one of an old root there counting as @p newRoot's, as it
     * moves) denies it. Then a section for @p newRoot with the Options and AllowOverride of the closest
     * section granting an old root, granted as the denial is written (2.4's Require or 2.2's Allow).
     */
    QStringList linesFor(const QString& newRoot, const QStringList& rewritten) const;

  private:
    enum class Access { Unsaid, Granted, Denied, DeniedFromAll };
    struct Folder
    {
        QString file;
        QString written;  ///< as the rewrite compares it: ${VAR} as written
        QString expanded; ///< as Apache reads it
    };
    struct Section
    {
        Folder folder;
        Access access = Access::Unsaid;
        QStringList settings; ///< its Options and AllowOverride lines
    };

    std::vector<Folder> m_roots;
    std::vector<Section> m_sections;
    bool m_inSection = false;
    int m_nested = 0; ///< sections open inside the current <Directory> whose lines do not count
};

} // namespace config
