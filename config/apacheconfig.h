// SPDX-License-Identifier: MIT
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>

namespace config {

struct ApacheConfigLine
{
    QString file;      ///< the file as Apache names it: ServerRoot and the include path joined, cleaned
    qint64 number = 0; ///< the line number of its first physical line
    QString text;      ///< as written (continuation lines joined, ${VAR} left), decoded as Apache reads it
    QString expanded;  ///< as Apache acts on it: each ${VAR} replaced (see ApacheConfigReader::expand)
};

/**
 * The configuration Apache reads from a main file: that file, and at each Include or IncludeOptional
 * line (directive names in any case) the files it names, read where the line stands. An include path
 * is relative to the ServerRoot in force, after ${VAR} is expanded; a wildcard (*, ?, [...]) in its
 * last part reads the matching names, a folder every entry, subfolders too, each in byte order as
 * Apache does. A name that matches nothing or a missing file is passed over (Apache itself stops at
 * a missing one that Include names); so is a file that would include itself, directly or through
 * others, and anything but a regular file. At most kMaxFiles files are read.
 *
 * Sections such as <IfModule> and <IfDefine> are not evaluated: their lines, includes among them,
 * are read as if Apache took every section.
 */
class ApacheConfigReader
{
  public:
    static constexpr int kMaxFiles = 256;

    /** @p defaultServerRoot: where paths are relative to before (and without) a ServerRoot line. */
    explicit ApacheConfigReader(QString defaultServerRoot);

    /**
     * Reads @p mainFile and what it includes, calling @p onLine with each line in the order Apache
     * reads them, before the reader acts on it (a Define, a ServerRoot, an include).
     */
    void read(const QString& mainFile, const std::function<void(const ApacheConfigLine&)>& onLine);

    /** The ServerRoot in force: the last ServerRoot line read so far (relative: under the default). */
    QString serverRoot() const { return m_serverRoot; }

  private:
    /**
     * @p text with each ${VAR} replaced as Apache does: by a Define (with a value) read so far, else
     * by the environment variable; an unknown one stays as written.
     */
    QString expand(const QString& text) const;
    void readPath(const QString& path);
    void act(const QString& line);
    void include(const QString& argument);

    QString m_defaultServerRoot;
    QString m_serverRoot;
    QHash<QString, QString> m_defines;
    int m_read = 0;     ///< files started
    QStringList m_open; ///< the files and folders being read, canonical: one of them again is a loop
    std::function<void(const ApacheConfigLine&)> m_onLine;
};

} // namespace config
