#include "core/update/UpdateFetch.h"

#include "core/update/UpdateReply.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <memory>

namespace ostrel {

namespace {

// Qt reports an HTTP error status as an error of the content, protocol or
// server class, yet such a reply carries its whole body, which is read like
// any other. Errors below that class (refused, closed, timed out, cancelled,
// TLS, proxy) mean the body, if any, is not complete.
bool carriesWholeReply(const QNetworkReply& reply) {
    if (!reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
        return false;
    const QNetworkReply::NetworkError error = reply.error();
    return error == QNetworkReply::NoError || error >= QNetworkReply::ContentAccessDenied;
}

// Reads at most one byte past the limit, so that an endless body cannot fill
// memory and the parser still sees that it was too large.
void readCapped(QNetworkReply& reply, QByteArray& body) {
    const qsizetype room = MaxUpdateReplyBytes + 1 - body.size();
    if (room > 0)
        body.append(reply.read(room));
    if (body.size() > MaxUpdateReplyBytes && reply.isRunning())
        reply.abort();
}

void abortAfter(QNetworkReply* reply, std::chrono::milliseconds timeout) {
    auto* deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    QObject::connect(deadline, &QTimer::timeout, reply, &QNetworkReply::abort);
    deadline->start(timeout);
}

std::optional<QByteArray> takeResult(QNetworkReply& reply, QByteArray& body) {
    if (body.size() > MaxUpdateReplyBytes)
        return body; // the parser turns it down
    if (!carriesWholeReply(reply))
        return std::nullopt;
    readCapped(reply, body);
    return body;
}

} // namespace

QNetworkReply* fetchUpdateReply(QNetworkAccessManager& network, const QUrl& endpoint,
                                std::chrono::milliseconds timeout, QObject* context,
                                UpdateBodyHandler done) {
    QNetworkRequest request(endpoint);
    request.setTransferTimeout(static_cast<int>(timeout.count()));
    QNetworkReply* reply = network.get(request);
    abortAfter(reply, timeout);
    auto body = std::make_shared<QByteArray>();
    QObject::connect(reply, &QIODevice::readyRead, context,
                     [reply, body] { readCapped(*reply, *body); });
    QObject::connect(reply, &QNetworkReply::finished, context,
                     [reply, body, done = std::move(done)] {
                         const std::optional<QByteArray> result = takeResult(*reply, *body);
                         reply->deleteLater();
                         done(result);
                     });
    return reply;
}

} // namespace ostrel
