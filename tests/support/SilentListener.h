// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <array>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ostrel::test {

// A listening socket whose queue is full: the handshake never completes, as
// with a phone that went away without a word.
class SilentListener {
public:
    SilentListener() {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(m_listener, 0);
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
        for (int& filler : m_fillers) {
            filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(filler, reinterpret_cast<sockaddr*>(&address), length);
        }
    }
    ~SilentListener() {
        for (int filler : m_fillers)
            ::close(filler);
        ::close(m_listener);
    }
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;

    quint16 port = 0;

private:
    int m_listener = -1;
    std::array<int, 4> m_fillers{};
};

} // namespace ostrel::test
