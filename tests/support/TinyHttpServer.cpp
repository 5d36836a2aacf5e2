// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/TinyHttpServer.h"

#include <QTcpSocket>
#include <QTimer>

namespace ostrel::test {

namespace {

QByteArray rawResponse(const TinyHttpServer::Response& response) {
    const qsizetype length = response.declaredLength.value_or(response.body.size());
    return "HTTP/1.1 " + QByteArray::number(response.status) +
           " Scripted\r\n"
           "Content-Type: text/plain\r\n"
           "Content-Length: " +
           QByteArray::number(length) + "\r\nConnection: close\r\n\r\n" + response.body;
}

} // namespace

TinyHttpServer::TinyHttpServer() {
    server_.listen(QHostAddress::LocalHost, 0);
    connect(&server_, &QTcpServer::newConnection, this, &TinyHttpServer::accept);
}

QUrl TinyHttpServer::siteUrl() const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(server_.serverPort()));
}

void TinyHttpServer::accept() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void TinyHttpServer::readRequest(QTcpSocket* socket) {
    QByteArray head = socket->property("head").toByteArray() + socket->readAll();
    socket->setProperty("head", head);
    if (!head.contains("\r\n\r\n") || socket->property("seen").toBool())
        return;
    socket->setProperty("seen", true);
    requestLines.append(head.left(head.indexOf("\r\n")));
    const Response response = nextResponse();
    if (!response.answers)
        return;
    QTimer::singleShot(response.delay, socket,
                       [this, socket, response] { answer(socket, response); });
}

void TinyHttpServer::answer(QTcpSocket* socket, const Response& response) {
    socket->write(rawResponse(response));
    socket->disconnectFromHost();
    ++answered;
}

TinyHttpServer::Response TinyHttpServer::nextResponse() {
    if (responses_.isEmpty())
        return {};
    return responses_.size() > 1 ? responses_.takeFirst() : responses_.constFirst();
}

} // namespace ostrel::test
