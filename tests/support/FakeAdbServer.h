// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/server/AdbServerAddress.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QTcpServer>

#include <chrono>
#include <functional>

class QTcpSocket;

namespace ostrel::test {

// A stand-in for adb's server on 127.0.0.1, speaking its socket protocol: it
// reads framed requests ("000chost:version") and answers each service as
// scripted, "FAIL" and "unknown host service" when unscripted, as adb does.
// "host:track-devices" is answered, unless scripted otherwise, with OKAY, the
// current list at once, and a frame with the whole list each time it is set.
// It can go away and come back on the same port, as a killed and restarted
// adb server does.
class FakeAdbServer {
public:
    // What one service gets in reply: these bytes, then the connection closed
    // or held open (a server that hangs: no bytes, held open).
    struct Reply {
        QByteArray bytes;
        bool close = true;
    };
    static Reply okay(const QByteArray& payload) { return {"OKAY" + frame(payload)}; }
    static Reply fail(const QByteArray& message) { return {"FAIL" + frame(message)}; }
    static Reply hang() { return {{}, false}; }
    // Four hex digits of the length, then the payload.
    static QByteArray frame(const QByteArray& payload);

    FakeAdbServer();
    ~FakeAdbServer();
    FakeAdbServer(const FakeAdbServer&) = delete;
    FakeAdbServer& operator=(const FakeAdbServer&) = delete;

    // Listens on a free port the first time, on the same one afterwards.
    bool listen();
    // Stops listening and drops every connection at once.
    void goAway();
    bool isListening() const { return server_.isListening(); }
    uint16_t port() const { return port_; }
    AdbServerAddress address() const { return {QStringLiteral("127.0.0.1"), port_}; }

    void setReply(const QByteArray& service, const Reply& reply) {
        replies_.insert(service, reply);
    }
    // Asked anew for each request, unless setReply() scripted the service.
    void setLiveReply(const QByteArray& service, std::function<Reply()> reply) {
        liveReplies_.insert(service, std::move(reply));
    }
    // The short listing ("SERIAL\tSTATE\n" lines), sent to every tracking connection.
    void setDevices(const QByteArray& listing);
    // Bytes as they are to every tracking connection: broken frames.
    void sendToTrackers(const QByteArray& bytes);
    // Every tracking connection, now and later, is sent these listings one
    // after another, over and over, as fast as it reads them, until
    // stopFlooding(); a list set after that follows the last frame sent.
    void floodTrackers(const QByteArrayList& listings);
    void stopFlooding();
    qint64 floodFramesSent() const { return floodFramesSent_; }
    // Replies to `service` wait this long before they are sent, so that a
    // client's requests are seen in flight.
    void setReplyDelay(const QByteArray& service, std::chrono::milliseconds delay) {
        replyDelays_.insert(service, delay);
    }

    // Every service asked for, in order.
    QByteArrayList requests() const { return requests_; }
    int trackingConnections() const;
    // The most requests for `service` that waited for their reply at once.
    int mostInFlight(const QByteArray& service) const { return mostInFlight_.value(service); }
    int connectionsAccepted() const { return accepted_; }
    // Bytes clients sent after their request, which adb's server never expects.
    QByteArray unexpectedBytes() const { return unexpected_; }

private:
    void accept();
    void readRequest(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const QByteArray& service);
    void reply(QTcpSocket* socket, const QByteArray& service);
    void feedFlood(QTcpSocket* socket);

    QTcpServer server_;
    uint16_t port_ = 0;
    QHash<QByteArray, Reply> replies_;
    QHash<QByteArray, std::function<Reply()>> liveReplies_;
    QByteArray devices_;
    QList<QPointer<QTcpSocket>> connections_;
    QList<QPointer<QTcpSocket>> trackers_;
    QHash<QTcpSocket*, QByteArray> pendingRequests_;
    QByteArrayList requests_;
    QByteArray unexpected_;
    QByteArrayList flood_;
    qsizetype floodNext_ = 0;
    QHash<QTcpSocket*, QByteArray> floodRest_; // the part of a frame not sent yet
    qint64 floodFramesSent_ = 0;
    QHash<QByteArray, std::chrono::milliseconds> replyDelays_;
    QHash<QByteArray, int> inFlight_;
    QHash<QByteArray, int> mostInFlight_;
    int accepted_ = 0;
};

} // namespace ostrel::test
