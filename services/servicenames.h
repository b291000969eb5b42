// SPDX-License-Identifier: MIT
#pragma once

#include "servicecommand.h"

#include "platform/servicelist.h"

#include <QString>

#include <vector>

namespace services {

/** The names the two services go by in the service manager. */
struct ServiceNames
{
    QString apache = DefaultServiceName(Service::Apache);
    QString mysql = DefaultServiceName(Service::MySql);
    /** Which one is used where several fit: "找到多个 MySQL 服务，使用了 MySQL80。"; else empty. */
    QString note;

    const QString& of(Service service) const { return service == Service::Apache ? apache : mysql; }
};

/**
 * The names to use with the services @p installed, for the Apache in @p apacheFolder (as typed).
 * A service named apache2 or mysql (in any case) keeps that name; otherwise Apache's is the one
 * whose program is the folder's bin\httpd.exe (paths compared as Windows does), MySQL's the one
 * whose program is a mysqld.exe or mariadbd.exe; of several, the first. Without any, the default.
 */
ServiceNames FindServiceNames(const std::vector<platform::InstalledService>& installed,
                              const QString& apacheFolder);

} // namespace services
