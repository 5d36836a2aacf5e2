// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/FakeAdbServer.h"

#include "core/server/AdbWireFormat.h"

#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <optional>

namespace ostrel::test {

QByteArray FakeAdbServer::frame(const QByteArray& payload) {
    return QByteArray::number(payload.size(), 16).rightJustified(4, '0') + payload;
}

FakeAdbServer::FakeAdbServer() {
    QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] { accept(); });
}

FakeAdbServer::~FakeAdbServer() {
    goAway();
}

bool FakeAdbServer::listen() {
    if (server_.isListening())
        return true;
    if (!server_.listen(QHostAddress::LocalHost, port_))
        return false;
    port_ = server_.serverPort();
    return true;
}

void FakeAdbServer::goAway() {
    server_.close();
    const QList<QPointer<QTcpSocket>> open = connections_;
    connections_.clear();
    trackers_.clear();
    pendingRequests_.clear();
    for (const QPointer<QTcpSocket>& socket : open) {
        if (socket) {
            socket->disconnect(&server_);
            socket->abort();
            socket->deleteLater();
        }
    }
}

void FakeAdbServer::setDevices(const QByteArray& listing) {
    devices_ = listing;
    sendToTrackers(frame(listing));
}

void FakeAdbServer::sendToTrackers(const QByteArray& bytes) {
    for (const QPointer<QTcpSocket>& socket : trackers_) {
        if (socket)
            socket->write(bytes);
    }
}

void FakeAdbServer::floodTrackers(const QByteArrayList& listings) {
    flood_ = listings;
    for (const QPointer<QTcpSocket>& socket : trackers_) {
        if (socket)
            feedFlood(socket);
    }
}

// Kept a little ahead of the reader, so that the flood goes as fast as the
// reader takes it and no faster than this process can hold. The blocks cut
// frames anywhere, so that the reader's reads end on any frame.
void FakeAdbServer::feedFlood(QTcpSocket* socket) {
    constexpr qsizetype Ahead = 64 * 1024 - 1;
    if (flood_.isEmpty() || socket->bytesToWrite() >= Ahead)
        return;
    QByteArray& bytes = floodRest_[socket];
    while (bytes.size() < Ahead) {
        bytes += frame(flood_.at(floodNext_ % flood_.size()));
        ++floodNext_;
        ++floodFramesSent_;
    }
    socket->write(bytes.first(Ahead));
    bytes.remove(0, Ahead);
}

// The frame cut last is finished, so that what follows is read as the
// protocol says.
void FakeAdbServer::stopFlooding() {
    flood_.clear();
    for (const QPointer<QTcpSocket>& socket : trackers_) {
        if (socket)
            socket->write(floodRest_.value(socket));
    }
    floodRest_.clear();
}

int FakeAdbServer::trackingConnections() const {
    int open = 0;
    for (const QPointer<QTcpSocket>& socket : trackers_)
        open += socket && socket->state() == QAbstractSocket::ConnectedState ? 1 : 0;
    return open;
}

void FakeAdbServer::accept() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        connections_.append(socket);
        ++accepted_;
        pendingRequests_.insert(socket, {});
        QObject::connect(socket, &QTcpSocket::readyRead, &server_,
                         [this, socket] { readRequest(socket); });
        QObject::connect(socket, &QTcpSocket::disconnected, &server_, [this, socket] {
            pendingRequests_.remove(socket);
            socket->deleteLater();
        });
    }
}

void FakeAdbServer::readRequest(QTcpSocket* socket) {
    if (!pendingRequests_.contains(socket)) {
        unexpected_ += socket->readAll();
        return;
    }
    QByteArray& pending = pendingRequests_[socket];
    pending += socket->readAll();
    if (pending.size() < 4)
        return;
    const std::optional<int> length = adbFrameLength(QByteArrayView(pending).first(4));
    if (!length) {
        pendingRequests_.remove(socket);
        socket->abort();
        return;
    }
    if (pending.size() < 4 + *length)
        return;
    const QByteArray service = pending.sliced(4, *length);
    unexpected_ += pending.sliced(4 + *length);
    pendingRequests_.remove(socket);
    requests_.append(service);
    answer(socket, service);
}

void FakeAdbServer::answer(QTcpSocket* socket, const QByteArray& service) {
    const bool tracking = service == "host:track-devices" && !replies_.contains(service);
    if (tracking) {
        trackers_.append(socket);
        socket->write("OKAY" + frame(devices_));
        QObject::connect(socket, &QTcpSocket::bytesWritten, &server_,
                         [this, socket] { feedFlood(socket); });
        feedFlood(socket);
        return;
    }
    const auto delay = replyDelays_.constFind(service);
    if (delay == replyDelays_.cend()) {
        reply(socket, service);
        return;
    }
    int& inFlight = inFlight_[service];
    ++inFlight;
    mostInFlight_[service] = std::max(mostInFlight_.value(service), inFlight);
    // A client that gave up meanwhile has its request counted out all the same.
    QTimer::singleShot(*delay, &server_, [this, service, waiting = QPointer<QTcpSocket>(socket)] {
        --inFlight_[service];
        if (waiting && waiting->state() == QAbstractSocket::ConnectedState)
            reply(waiting, service);
    });
}

void FakeAdbServer::reply(QTcpSocket* socket, const QByteArray& service) {
    const auto live = liveReplies_.constFind(service);
    const Reply scripted = live != liveReplies_.cend() && !replies_.contains(service)
                               ? (*live)()
                               : replies_.value(service, fail("unknown host service"));
    socket->write(scripted.bytes);
    if (scripted.close)
        socket->disconnectFromHost();
    else if (service == "host:track-devices")
        trackers_.append(socket); // a scripted answer, followed by what the test sends
}

} // namespace ostrel::test
