// SPDX-License-Identifier: MIT
#include "siterequest.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <memory>

namespace services {

PageAnswer RequestPage(const QUrl& url, std::chrono::milliseconds bound, int tries,
                       std::chrono::milliseconds pause)
{
    QNetworkAccessManager network;
    // A proxy from the environment must not stand between the program and the local server.
    network.setProxy(QNetworkProxy::NoProxy);
    PageAnswer answer;
    for (int attempt = 0; attempt < tries; ++attempt) {
        if (attempt > 0) {
            QEventLoop wait;
            QTimer::singleShot(pause, &wait, &QEventLoop::quit);
            wait.exec();
        }
        QNetworkRequest request(url);
        // The answer itself is what counts: a redirect is a page being served.
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        request.setTransferTimeout(int(bound.count()));
        const std::unique_ptr<QNetworkReply> reply(network.get(request));
        QEventLoop loop;
        QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        answer.error = answer.status ? reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString()
                                     : reply->errorString();
        if (answer.status != 0 || reply->error() != QNetworkReply::ConnectionRefusedError)
            break;
    }
    return answer;
}

} // namespace services
