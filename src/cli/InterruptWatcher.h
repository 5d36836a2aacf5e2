#pragma once

#include <QObject>

#include <csignal>
#include <memory>

class QSocketNotifier;

namespace ostrel::cli {

// Turns SIGINT and SIGTERM into a signal of the event loop, so that the flow
// is cancelled on the main thread. One watcher at a time; while it lives the
// two signals no longer end the program by themselves.
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
    int caughtSignal() const { return caught_; }

Q_SIGNALS:
    void interrupted(int signalNumber);

private:
    // Reads what the handler wrote; the first signal seen is kept.
    bool drain();

    int fds_[2] = {-1, -1};
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
    std::unique_ptr<QSocketNotifier> notifier_;
    int caught_ = 0;
    bool announced_ = false;
};

} // namespace ostrel::cli
