// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace platform {

/**
 * The files an apply pass changes, kept as they were until the pass knows the change is wanted.
 * What is kept and not restored is dropped when the object goes.
 */
class FileUndo
{
  public:
    FileUndo() = default;
    FileUndo(const FileUndo&) = delete;
    FileUndo& operator=(const FileUndo&) = delete;
    ~FileUndo();

    /** Keeps the file @p path finally names (links followed) before it is changed. */
    bool keep(const QString& path, QString* error);
    /**
     * Puts every kept file back in place, each in one step, the last kept first. Returns one line
     * per file that could not be put back: its path, the reason and where its old content stays.
     */
    QStringList restore();
    void forget();

  private:
    struct Kept
    {
        QString target;
        QString kept;
    };
    std::vector<Kept> m_kept;
};

} // namespace platform
