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
    /** Reads one line, in the order Apache reads them. */
    void read(const ApacheConfigLine& line);

    /**
     * The lines a rewrite of the files @p rewritten adds after DocumentRoot, for
     * RewritePlan::afterDocumentRoot: none unless Apache would deny @p newRoot, that is unless the
     * closest section holding it that grants or denies (a section of an old root those files hold
     * counting as one of @p newRoot, as it moves there) denies it. Then a section for @p newRoot with
     * the Options and AllowOverride lines of the closest section granting an old root, and a grant
     * written as the denial is ("Require all granted", or 2.2's "Order allow,deny" and "Allow from all").
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
