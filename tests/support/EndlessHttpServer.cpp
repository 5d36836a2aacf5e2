// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/EndlessHttpServer.h"

#include <QByteArray>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ostrel::test {

namespace {

constexpr int PollStep = 50; // ms between looks at the stop flag
// Little is kept in the server's own buffers, so that what it sent is close
// to what the other end took.
constexpr int SendBuffer = 16 * 1024;

bool readable(int fd) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, PollStep) > 0;
}

bool writable(int fd) {
    pollfd entry{fd, POLLOUT, 0};
    return ::poll(&entry, 1, PollStep) > 0;
}

QByteArray chunk() {
    const QByteArray body(4096, 'x');
    return QByteArray::number(body.size(), 16) + "\r\n" + body + "\r\n";
}

} // namespace

EndlessHttpServer::EndlessHttpServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        ::listen(listener_, 4) == 0 &&
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
}

EndlessHttpServer::~EndlessHttpServer() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
}

QUrl EndlessHttpServer::siteUrl() const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port_));
}

void EndlessHttpServer::serve() {
    while (!stopping()) {
        if (!readable(listener_))
            continue;
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            continue;
        ::setsockopt(connection, SOL_SOCKET, SO_SNDBUF, &SendBuffer, sizeof SendBuffer);
        if (awaitRequest(connection))
            pour(connection);
        ::close(connection);
        return; // one reply is all it gives
    }
}

bool EndlessHttpServer::awaitRequest(int connection) {
    QByteArray head;
    char buffer[1024];
    while (!stopping() && !head.contains("\r\n\r\n")) {
        if (!readable(connection))
            continue;
        const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
        if (got <= 0)
            return false;
        head.append(buffer, got);
    }
    return !stopping();
}

void EndlessHttpServer::pour(int connection) {
    const QByteArray head = "HTTP/1.1 200 Endless\r\nContent-Type: text/plain\r\n"
                            "Transfer-Encoding: chunked\r\n\r\n";
    ::send(connection, head.constData(), size_t(head.size()), MSG_NOSIGNAL);
    started_ = true;
    const QByteArray body = chunk();
    qsizetype offset = 0;
    while (!stopping() && sent_ < PourLimit) {
        if (!writable(connection))
            continue;
        const ssize_t put = ::send(connection, body.constData() + offset,
                                   size_t(body.size() - offset), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (put < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (put < 0) {
            closed_ = true;
            return;
        }
        sent_ += put;
        offset = (offset + put) % body.size();
    }
}

} // namespace ostrel::test
