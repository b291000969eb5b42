// SPDX-License-Identifier: MIT
#include "apachehost.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

QStringConverter::Encoding ApacheFolderEncoding()
{
    return QStringConverter::System;
}

std::vector<ApacheFolderCandidate> ApacheFolderCandidates()
{
    // An Apache is its main file or its program: packages such as javascript-common create
    // /etc/apache2/conf-available without Apache.
    return {{QStringLiteral("/usr/local/apache2"), {QStringLiteral("/usr/local/apache2/conf/httpd.conf")}},
            {QStringLiteral("/etc/apache2"),
             {QStringLiteral("/etc/apache2/apache2.conf"), QStringLiteral("/usr/sbin/apache2")}}};
}

QString ApacheFolderWhenNone()
{
    return QStringLiteral("/usr/local/apache2");
}

QString DebianApacheControl()
{
    return QStringLiteral("/usr/sbin/apache2ctl");
}

QString DebianPhpFolder()
{
    return QStringLiteral("/etc/php");
}

QString FedoraPhpFpmPoolFolder()
{
    return QStringLiteral("/etc/php-fpm.d");
}

QString PackageProgramFolder()
{
    return QStringLiteral("/usr/sbin");
}

QStringList ApacheProgramCandidates()
{
    return {QStringLiteral("bin/httpd"), QStringLiteral("bin/apachectl")};
}

QString FirstFolderClosedTo(const QString& folder, const QString& user)
{
    uid_t uid = ::geteuid();
    std::vector<gid_t> groups{::getegid()};
    // Apache switches to its User only when started as root; "#1000" names an id.
    if (uid == 0 && !user.isEmpty()) {
        const QByteArray name = user.toLocal8Bit();
        const struct passwd* account = user.startsWith(QLatin1Char('#'))
                                           ? ::getpwuid(uid_t(user.mid(1).toUInt()))
                                           : ::getpwnam(name.constData());
        if (!account)
            return {};
        uid = account->pw_uid;
        int count = 64;
        groups.assign(size_t(count), 0);
        if (::getgrouplist(account->pw_name, account->pw_gid, groups.data(), &count) < 0)
            count = 0;
        groups.resize(size_t(count));
        groups.push_back(account->pw_gid);
    }
    if (uid == 0)
        return {};
    const QString absolute = QDir::cleanPath(QDir(folder).absolutePath());
    QString path;
    for (const QString& part : absolute.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        path += QLatin1Char('/') + part;
        struct stat st
        {
        };
        if (::stat(QFile::encodeName(path).constData(), &st) != 0)
            return {};
        const bool inGroup = std::find(groups.begin(), groups.end(), st.st_gid) != groups.end();
        const mode_t search = st.st_uid == uid ? S_IXUSR : inGroup ? S_IXGRP : S_IXOTH;
        if (!(st.st_mode & search))
            return path;
    }
    return {};
}

bool FileNamesLikeWindows()
{
    return false;
}

} // namespace platform
