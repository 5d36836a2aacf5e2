// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QUrl>

#include <atomic>
#include <thread>

namespace ostrel::test {

// An HTTP server on 127.0.0.1 whose one reply never ends: a chunked body
// poured on its own thread as fast as the other end takes it, whatever the
// test's own thread is doing. It gives up after PourLimit bytes, so that a
// reader that keeps taking cannot fill the machine.
class EndlessHttpServer {
public:
    static constexpr qint64 PourLimit = 64 * 1024 * 1024;

    EndlessHttpServer();
    ~EndlessHttpServer();
    EndlessHttpServer(const EndlessHttpServer&) = delete;
    EndlessHttpServer& operator=(const EndlessHttpServer&) = delete;

    QUrl siteUrl() const;
    // Body bytes the system took from the server so far.
    qint64 bytesSent() const { return sent_.load(); }
    bool replyStarted() const { return started_.load(); }
    // The other end closed the connection (a write to it failed).
    bool closedByReader() const { return closed_.load(); }

private:
    void serve();
    bool awaitRequest(int connection);
    void pour(int connection);
    bool stopping() const { return stop_.load(); }

    int listener_ = -1;
    quint16 port_ = 0;
    std::atomic<qint64> sent_{0};
    std::atomic<bool> started_{false};
    std::atomic<bool> closed_{false};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace ostrel::test
