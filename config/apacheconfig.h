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
    QString expanded;  ///< as Apache acts on it, each ${VAR} replaced; empty for a comment or a blank line
};

/**
 * The configuration Apache reads from a main file, each Include or IncludeOptional followed where it
 * stands: relative to the ServerRoot in force after ${VAR} is expanded; a wildcard in the last part,
 * or a folder, read in byte order as Apache does. Missing files, loops and anything but a regular
 * file are passed over; at most kMaxFiles files. <IfModule>, <IfDefine>... are read as taken.
 */
class ApacheConfigReader
{
  public:
    static constexpr int kMaxFiles = 256;

    /** @p defaultServerRoot: where paths are relative to before (and without) a ServerRoot line. */
    explicit ApacheConfigReader(QString defaultServerRoot);

    /** Calls @p onLine with each line in Apache's order, before acting on it (Define, Include...). */
    void read(const QString& mainFile, const std::function<void(const ApacheConfigLine&)>& onLine);

    /** The ServerRoot in force: the last ServerRoot line read so far (relative: under the default). */
    QString serverRoot() const { return m_serverRoot; }

  private:
    /** @p text with each ${VAR} replaced by a Define read so far, else the environment; else kept. */
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
