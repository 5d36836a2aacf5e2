#include "support/FakeAdbServer.h"

#include "core/server/AdbWireFormat.h"

#include <QTcpSocket>

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

int FakeAdbServer::trackingConnections() const {
    int open = 0;
    for (const QPointer<QTcpSocket>& socket : trackers_)
        open += socket && socket->state() == QAbstractSocket::ConnectedState ? 1 : 0;
    return open;
}

void FakeAdbServer::accept() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        connections_.append(socket);
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
        return;
    }
    const auto live = liveReplies_.constFind(service);
    const Reply reply = live != liveReplies_.cend() && !replies_.contains(service)
                            ? (*live)()
                            : replies_.value(service, fail("unknown host service"));
    socket->write(reply.bytes);
    if (reply.close)
        socket->disconnectFromHost();
    else if (service == "host:track-devices")
        trackers_.append(socket); // a scripted answer, followed by what the test sends
}

} // namespace ostrel::test
