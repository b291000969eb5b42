// SPDX-License-Identifier: MIT
#include "siterequest.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QTimer>

#include <memory>

namespace services {

QUrl PageAddress(const QStringList& listenArguments)
{
    for (const QString& arguments : listenArguments) {
        const QStringList words = arguments.simplified().split(QLatin1Char(' '));
        const QString& address = words.first();
        const qsizetype colon = address.lastIndexOf(QLatin1Char(':'));
        QString host = colon < 0 ? QString() : address.left(colon);
        const QString port = address.mid(colon + 1);
        const QString protocol = words.value(1).toLower();
        if (protocol == QLatin1String("https") || (protocol.isEmpty() && port == QLatin1String("443")))
            continue;
        if (host.isEmpty() || host == QLatin1String("*") || host == QLatin1String("0.0.0.0"))
            host = QStringLiteral("127.0.0.1");
        else if (host == QLatin1String("[::]"))
            host = QStringLiteral("[::1]");
        const QUrl url(QStringLiteral("http://%1:%2/").arg(host, port));
        if (url.isValid() && url.port() > 0)
            return url;
    }
    return {};
}

ApacheListing ReadListing(const QString& output)
{
    // Main ErrorLog: "/var/log/apache2/error.log"   and   User: name="www-data" id=33
    static const QRegularExpression errorLog(QStringLiteral("^Main ErrorLog: \"(.*)\"\\s*$"),
                                             QRegularExpression::MultilineOption);
    static const QRegularExpression user(QStringLiteral("^User: name=\"([^\"]*)\""),
                                         QRegularExpression::MultilineOption);
    return {output, errorLog.match(output).captured(1), user.match(output).captured(1)};
}

QString VirtualHostOnPort(const QString& listing, int port)
{
    // "*:80  is a NameVirtualHost" followed by "default server NAME (FILE:LINE)", or
    // "127.0.0.1:8080  NAME (FILE:LINE)" for an address with one virtual host.
    static const QRegularExpression address(QStringLiteral("^\\S*:(\\d+)\\s"));
    static const QRegularExpression place(QStringLiteral("\\((.+:\\d+)\\)\\s*$"));
    bool onPort = false;
    for (const QString& line : listing.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch start = address.match(line);
        if (start.hasMatch())
            onPort = start.captured(1).toInt() == port;
        else if (!line.startsWith(QLatin1Char(' ')) && !line.startsWith(QLatin1Char('\t')))
            onPort = false;
        if (!onPort || line.contains(QLatin1String("is a NameVirtualHost")))
            continue;
        const QRegularExpressionMatch found = place.match(line);
        if (found.hasMatch() &&
            (start.hasMatch() || line.trimmed().startsWith(QLatin1String("default server"))))
            return found.captured(1);
    }
    return {};
}

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
