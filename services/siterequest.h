// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <chrono>

namespace services {

/**
 * Where to ask Apache for a page: the first Listen not for https (by protocol, or port 443), a
 * wildcard address or none meaning loopback. Empty when there is none.
 */
QUrl PageAddress(const QStringList& listenArguments);

/** What Apache's own listing of its settings (the output of -S) says, where it says it. */
struct ApacheListing
{
    QString output;
    QString errorLog; ///< "Main ErrorLog"
    QString user;     ///< the account its children run as
};

ApacheListing ReadListing(const QString& output);

/** From Apache's -S listing, "FILE:LINE" of the virtual host answering on @p port; empty: the main server. */
QString VirtualHostOnPort(const QString& listing, int port);

/** What a web server answered to one request. */
struct PageAnswer
{
    int status = 0; ///< the HTTP status; 0 when there was no answer
    QString error;  ///< why there was no answer, or the status's reason phrase

    bool servesPage() const { return status >= 200 && status < 400; }
};

/**
 * GETs @p url and waits for the answer while the caller's event loop runs, at most @p bound per
 * try. A server that is not listening yet (still starting) is tried again, up to @p tries times,
 * @p pause apart.
 */
PageAnswer RequestPage(const QUrl& url, std::chrono::milliseconds bound = std::chrono::seconds(5),
                       int tries = 5, std::chrono::milliseconds pause = std::chrono::milliseconds(500));

} // namespace services
