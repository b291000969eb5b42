// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

namespace services {

/** The services an apply pass acts on: the two the user chooses for, and the PHP-FPM that serves PHP. */
enum class Service { Apache, MySql, PhpFpm };

/** What the user chooses for a service. */
enum class ServiceAction { Start, Stop, Pause, Restart };

/** What the service manager is asked to do in one command. */
enum class Verb { Start, Stop, Pause };

/**
 * One service command: a verb on a service, as it goes from the user's choice to the service
 * manager. Its text ("net start apache2") is made only to be shown or run.
 */
struct ServiceCommand
{
    Service service = Service::Apache;
    Verb verb = Verb::Start;
    /** The service's name in the service manager: apache2 or mysql unless the installation says otherwise. */
    QString name;

    /** The verb as the service managers spell it: start, stop, pause. */
    QString verbWord() const;
    /** The command as Windows' net writes it, the name quoted when it holds a blank. */
    QString netCommandLine() const;

    bool operator==(const ServiceCommand& other) const
    {
        return service == other.service && verb == other.verb && name == other.name;
    }
};

/** The name each service is registered under where nothing else is known. */
QString DefaultServiceName(Service service);

/** A command on @p service under its default name. */
ServiceCommand Command(Service service, Verb verb);

} // namespace services
