// SPDX-License-Identifier: MIT
#include "portholders.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <map>

#include <unistd.h>

namespace platform {

namespace {

// The inodes of the sockets listening on @p port in one of /proc/net/tcp, /proc/net/tcp6:
// "sl local_address rem_address st ... inode", the address as HEX:PORT, state 0A for listening.
void ListeningInodes(const QString& table, quint16 port, std::map<QByteArray, qint64>& inodes)
{
    QFile file(table);
    if (!file.open(QIODevice::ReadOnly))
        return;
    file.readLine(); // the column titles
    while (!file.atEnd()) {
        const QList<QByteArray> fields = file.readLine().simplified().split(' ');
        if (fields.size() > 9 && fields[3] == "0A" &&
            fields[1].mid(fields[1].indexOf(':') + 1).toUShort(nullptr, 16) == port)
            inodes.emplace("socket:[" + fields[9] + ']', 0);
    }
}

} // namespace

std::vector<PortHolder> PortHolders(quint16 port)
{
    std::map<QByteArray, qint64> inodes; // each socket's link text, and the first process holding it
    ListeningInodes(QStringLiteral("/proc/net/tcp"), port, inodes);
    ListeningInodes(QStringLiteral("/proc/net/tcp6"), port, inodes);
    if (inodes.empty())
        return {};
    // In the order of their ids, so that a server's parent comes before the workers it forked.
    std::vector<qint64> pids;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (const qint64 pid = entry.toLongLong(); pid > 0)
            pids.push_back(pid);
    std::sort(pids.begin(), pids.end());
    qsizetype unnamed = qsizetype(inodes.size());
    for (auto pid = pids.begin(); pid != pids.end() && unnamed > 0; ++pid) {
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(*pid));
        for (const QString& fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
            char link[64];
            const ssize_t length =
                ::readlink(QFile::encodeName(fds.filePath(fd)).constData(), link, sizeof link);
            const auto inode = length > 0 ? inodes.find(QByteArray(link, length)) : inodes.end();
            if (inode != inodes.end() && inode->second == 0) {
                inode->second = *pid;
                --unnamed;
            }
        }
    }
    std::vector<PortHolder> holders;
    for (const auto& [link, pid] : inodes) {
        const bool known =
            std::any_of(holders.begin(), holders.end(), [&](const PortHolder& h) { return h.pid == pid; });
        if (known)
            continue;
        QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
        holders.push_back({pid,
                           pid && comm.open(QIODevice::ReadOnly)
                               ? QString::fromLocal8Bit(comm.readAll().trimmed())
                               : QString(),
                           false});
    }
    return holders;
}

} // namespace platform
