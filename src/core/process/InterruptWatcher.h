// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <array>
#include <csignal>
#include <memory>

class QSocketNotifier;

namespace ostrel {

// Turns the signals that ask a program to end (SIGINT from Ctrl+C, SIGTERM,
// SIGHUP from a closed terminal or a desktop logout) into a signal of the
// event loop, so that the program ends its work on the main thread: adb's
// commands run in process groups of their own, which no signal to the
// program reaches. One watcher at a time; while it lives the three signals no
// longer end the program by themselves. A SIGHUP ignored when the program
// started (nohup) stays ignored.
class InterruptWatcher : public QObject {
    Q_OBJECT

public:
    explicit InterruptWatcher(QObject* parent = nullptr);
    ~InterruptWatcher() override;
    InterruptWatcher(const InterruptWatcher&) = delete;
    InterruptWatcher& operator=(const InterruptWatcher&) = delete;

    // Looks for a signal that arrived but has not reached the event loop yet.
    // True once one arrived; `interrupted` follows from the event loop.
    bool poll();
    // The exit status of a program a signal ended, as shells give it
    // (128 + the signal's number); `status` when none came.
    int exitStatusOr(int status) const { return caught_ != 0 ? 128 + caught_ : status; }

Q_SIGNALS:
    void interrupted(int signalNumber);

private:
    struct Watched {
        int signalNumber;
        bool installed = false;
        struct sigaction previous {};
    };

    // Reads what the handler wrote; the first signal seen is kept.
    bool drain();

    int fds_[2] = {-1, -1};
    std::array<Watched, 3> watched_{{{SIGINT}, {SIGTERM}, {SIGHUP}}};
    std::unique_ptr<QSocketNotifier> notifier_;
    int caught_ = 0;
    bool announced_ = false;
};

} // namespace ostrel
