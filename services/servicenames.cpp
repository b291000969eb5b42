// SPDX-License-Identifier: MIT
#include "servicenames.h"

#include <QRegularExpression>

#include <functional>

namespace services {

namespace {

// Windows compares paths without regard to case, with / and \ alike and a doubled separator as one.
QString PathKey(QString path)
{
    static const QRegularExpression separators(QStringLiteral("[/\\\\]+"));
    return path.replace(separators, QStringLiteral("\\")).toCaseFolded();
}

QString FindName(const std::vector<platform::InstalledService>& installed, Service service,
                 const std::function<bool(const QString& programKey)>& runsService, QString& note)
{
    const QString name = DefaultServiceName(service);
    QStringList found;
    for (const platform::InstalledService& candidate : installed) {
        if (candidate.name.compare(name, Qt::CaseInsensitive) == 0)
            return name;
        if (runsService(PathKey(candidate.program)))
            found << candidate.name;
    }
    if (found.size() > 1)
        note += QStringLiteral("找到多个 %1 服务，使用了 %2。")
                    .arg(service == Service::Apache ? QStringLiteral("Apache") : QStringLiteral("MySQL"),
                         found.first());
    return found.isEmpty() ? name : found.first();
}

} // namespace

ServiceNames FindServiceNames(const std::vector<platform::InstalledService>& installed,
                              const QString& apacheFolder)
{
    const QString httpd = PathKey(apacheFolder + QStringLiteral("\\bin\\httpd.exe"));
    ServiceNames names;
    names.apache = FindName(
        installed, Service::Apache, [&](const QString& program) { return program == httpd; }, names.note);
    names.mysql = FindName(
        installed, Service::MySql,
        [](const QString& program) {
            const QString file = program.section(QLatin1Char('\\'), -1);
            return file == QLatin1String("mysqld.exe") || file == QLatin1String("mariadbd.exe");
        },
        names.note);
    return names;
}

} // namespace services
