// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QTcpServer>
#include <QTcpSocket>

namespace ostrel::test {

// A phone's VNC server behind a local port: answers every client with
// `answer` (the server's greeting unless a test says otherwise).
class LocalGreeter : public QTcpServer {
public:
    explicit LocalGreeter(QByteArray answer = "RFB 003.008\n") : answer_(std::move(answer)) {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection())
                socket->write(answer_);
        });
    }

private:
    QByteArray answer_;
};

} // namespace ostrel::test
