// SPDX-License-Identifier: GPL-3.0-or-later
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

struct FetchState {
    QByteArray body;
    bool deadlinePassed = false;
};

// Qt ends a request that passed its transfer time-out as cancelled, the same
// as an abort; the caller's own cancel flag tells the two apart.
void abortAfter(QNetworkReply* reply, std::chrono::milliseconds timeout,
                const std::shared_ptr<FetchState>& state) {
    auto* deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    deadline->setTimerType(Qt::PreciseTimer);
    QObject::connect(deadline, &QTimer::timeout, reply, [reply, state] {
        state->deadlinePassed = true;
        reply->abort();
    });
    deadline->start(timeout);
}

// A reply whose head arrived but whose body was cut short came from the site,
// so it counts as a reply that could not be read rather than as no contact.
UpdateFailure whyUnanswered(const QNetworkReply& reply, bool deadlinePassed) {
    const QNetworkReply::NetworkError error = reply.error();
    if (deadlinePassed || error == QNetworkReply::TimeoutError ||
        error == QNetworkReply::OperationCanceledError)
        return UpdateFailure::NoAnswer;
    if (reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
        return UpdateFailure::NotUnderstood;
    return UpdateFailure::Unreachable;
}

FetchedUpdate takeResult(QNetworkReply& reply, QByteArray& body, bool deadlinePassed) {
    FetchedUpdate fetched;
    if (body.size() > MaxUpdateReplyBytes) {
        fetched.body = body; // the parser turns it down
        return fetched;
    }
    if (!carriesWholeReply(reply)) {
        fetched.failure = whyUnanswered(reply, deadlinePassed);
        fetched.networkError = reply.errorString();
        return fetched;
    }
    readCapped(reply, body);
    fetched.body = body;
    return fetched;
}

} // namespace

QNetworkReply* fetchUpdateReply(QNetworkAccessManager& network, const QUrl& endpoint,
                                std::chrono::milliseconds timeout, QObject* context,
                                UpdateBodyHandler done) {
    QNetworkRequest request(endpoint);
    request.setTransferTimeout(static_cast<int>(timeout.count()));
    QNetworkReply* reply = network.get(request);
    // Qt's network thread otherwise takes in all a site sends, as fast as it
    // comes, whether or not we read it: an endless reply would fill memory
    // while the window is busy, before the cap is ever looked at.
    reply->setReadBufferSize(MaxUpdateReplyBytes + 1);
    auto state = std::make_shared<FetchState>();
    abortAfter(reply, timeout, state);
    QObject::connect(reply, &QIODevice::readyRead, context,
                     [reply, state] { readCapped(*reply, state->body); });
    QObject::connect(
        reply, &QNetworkReply::finished, context, [reply, state, done = std::move(done)] {
            const FetchedUpdate result = takeResult(*reply, state->body, state->deadlinePassed);
            reply->deleteLater();
            done(result);
        });
    return reply;
}

} // namespace ostrel
