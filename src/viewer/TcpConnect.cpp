// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/TcpConnect.h"

#include <QDeadlineTimer>

#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Outcome = TcpConnectResult::Outcome;

bool setBlocking(int socket, bool blocking) {
    const int flags = ::fcntl(socket, F_GETFL);
    if (flags < 0)
        return false;
    return ::fcntl(socket, F_SETFL, blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK) == 0;
}

struct Interruption {
    int wakeFd;
    const std::function<bool()>& stopRequested;

    bool happened() const {
        char drained[64];
        [[maybe_unused]] const auto read = ::read(wakeFd, drained, sizeof drained);
        return stopRequested();
    }
};

// Waits for the connect under way on `socket` to finish.
Outcome awaitConnected(int socket, const Interruption& interruption,
                       const QDeadlineTimer& deadline) {
    const int wakeFd = interruption.wakeFd;
    for (;;) {
        const qint64 left = deadline.remainingTime();
        if (left == 0)
            return Outcome::NoAnswer;
        pollfd watched[2] = {{socket, POLLOUT, 0}, {wakeFd, POLLIN, 0}};
        const int ready = ::poll(watched, wakeFd >= 0 ? 2 : 1, int(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return Outcome::NoAnswer;
        if (watched[1].revents != 0 && interruption.happened())
            return Outcome::Interrupted;
        if (watched[0].revents == 0)
            continue;
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            return Outcome::NoAnswer;
        if (error == 0)
            return Outcome::Connected;
        return error == ECONNREFUSED ? Outcome::Refused : Outcome::NoAnswer;
    }
}

Outcome connectOne(const addrinfo& address, const Interruption& interruption,
                   const QDeadlineTimer& deadline, int& socket) {
    socket = ::socket(address.ai_family, address.ai_socktype | SOCK_CLOEXEC, address.ai_protocol);
    if (socket < 0 || !setBlocking(socket, false))
        return Outcome::NoAnswer;
    Outcome outcome = Outcome::Connected;
    if (::connect(socket, address.ai_addr, address.ai_addrlen) != 0)
        outcome = errno == EINPROGRESS    ? awaitConnected(socket, interruption, deadline)
                  : errno == ECONNREFUSED ? Outcome::Refused
                                          : Outcome::NoAnswer;
    // The library reads and writes as on a plain blocking socket.
    if (outcome == Outcome::Connected && setBlocking(socket, true))
        return outcome;
    ::close(socket);
    socket = -1;
    return outcome == Outcome::Connected ? Outcome::NoAnswer : outcome;
}

} // namespace

TcpConnectResult connectTcp(const QString& host, quint16 port, int timeoutMs, int wakeFd,
                            const std::function<bool()>& stopRequested) {
    const Interruption interruption{wakeFd, stopRequested};
    const QDeadlineTimer deadline(timeoutMs, Qt::PreciseTimer);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.toUtf8().constData(), QByteArray::number(port).constData(), &hints,
                      &found) != 0)
        return {};
    TcpConnectResult result;
    for (const addrinfo* address = found; address != nullptr; address = address->ai_next) {
        result.outcome = connectOne(*address, interruption, deadline, result.socket);
        if (result.outcome == Outcome::Connected || result.outcome == Outcome::Interrupted)
            break;
    }
    ::freeaddrinfo(found);
    if (result.outcome == Outcome::Connected) {
        const int on = 1;
        ::setsockopt(result.socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    return result;
}
