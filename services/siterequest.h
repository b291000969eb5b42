// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QUrl>

#include <chrono>

namespace services {

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
