// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <QUrl>

#include <chrono>
#include <optional>

class QTcpSocket;

namespace ostrel::test {

// An HTTP server on 127.0.0.1 at a port the system picks, answering every
// request with a scripted response and recording the request lines.
class TinyHttpServer : public QObject {
    Q_OBJECT

public:
    struct Response {
        int status = 200;
        QByteArray body;
        std::chrono::milliseconds delay{0};
        bool answers = true;                       // false: reads the request, then stays silent
        std::optional<qsizetype> declaredLength{}; // a Content-Length other than the body's
    };

    TinyHttpServer();

    // The site address the controller is given; the port is the one bound.
    QUrl siteUrl() const;
    // Responses are used in order; the last one answers every later request.
    void respondWith(const Response& response) { responses_.append(response); }

    QList<QByteArray> requestLines; // "GET /path HTTP/1.1", one per request
    int answered = 0;

private:
    void accept();
    void readRequest(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const Response& response);
    Response nextResponse();

    QTcpServer server_;
    QList<Response> responses_;
};

} // namespace ostrel::test
