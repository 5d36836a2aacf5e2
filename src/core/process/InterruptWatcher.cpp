// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/process/InterruptWatcher.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ostrel {

namespace {

// A signal handler receives no context, so the end it writes to has to be
// reachable without one. Set only while a watcher lives.
std::atomic<int> handlerWriteFd{-1};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void writeSignalNumber(int signalNumber) {
    const int savedErrno = errno;
    const int fd = handlerWriteFd.load();
    if (fd >= 0) {
        const auto byte = static_cast<unsigned char>(signalNumber);
        // A full pipe already holds a signal; losing this one changes nothing.
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

void setNonBlockingCloseOnExec(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC);
}

// Whoever started the program with SIGHUP ignored (nohup, a detached job)
// wants it to outlive the terminal.
bool leftIgnored(int signalNumber) {
    struct sigaction current {};
    return signalNumber == SIGHUP && ::sigaction(signalNumber, nullptr, &current) == 0 &&
           current.sa_handler == SIG_IGN;
}

} // namespace

InterruptWatcher::InterruptWatcher(QObject* parent) : QObject(parent) {
    Q_ASSERT(handlerWriteFd.load() < 0);
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds_) != 0) {
        fds_[0] = fds_[1] = -1;
        qWarning("Signals to end the program cannot be watched: %s", std::strerror(errno));
        return;
    }
    setNonBlockingCloseOnExec(fds_[0]);
    setNonBlockingCloseOnExec(fds_[1]);
    handlerWriteFd.store(fds_[0]);

    notifier_ = std::make_unique<QSocketNotifier>(fds_[1], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
        if (drain() && !announced_) {
            announced_ = true;
            Q_EMIT interrupted(caught_);
        }
    });

    struct sigaction action {};
    action.sa_handler = writeSignalNumber;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls in Qt and the C library carry on.
    action.sa_flags = SA_RESTART;
    for (Watched& watched : watched_) {
        if (!leftIgnored(watched.signalNumber))
            watched.installed = ::sigaction(watched.signalNumber, &action, &watched.previous) == 0;
    }
}

InterruptWatcher::~InterruptWatcher() {
    if (fds_[0] < 0)
        return;
    for (const Watched& watched : watched_) {
        if (watched.installed)
            ::sigaction(watched.signalNumber, &watched.previous, nullptr);
    }
    handlerWriteFd.store(-1);
    notifier_.reset();
    ::close(fds_[0]);
    ::close(fds_[1]);
}

bool InterruptWatcher::drain() {
    if (fds_[1] < 0)
        return false;
    unsigned char byte = 0;
    while (::read(fds_[1], &byte, 1) == 1) {
        if (caught_ == 0)
            caught_ = byte;
    }
    return caught_ != 0;
}

bool InterruptWatcher::poll() {
    if (!drain())
        return false;
    if (!announced_) {
        announced_ = true;
        // The caller may be deep in the session's own call; the flow is
        // cancelled from the event loop instead.
        QMetaObject::invokeMethod(
            this, [this] { Q_EMIT interrupted(caught_); }, Qt::QueuedConnection);
    }
    return true;
}

} // namespace ostrel
