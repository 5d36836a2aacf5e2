// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Shared by the start-up benchmark's two programs: once the first top-level
// window has been exposed (Qt paints and flushes a widget window while it
// delivers that event), prints the CLOCK_MONOTONIC time in nanoseconds and
// ends the process at once, so that nothing after the frame is measured and
// the program's quit path (which may stop adb's server) never runs.

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace bench {

class FirstFrameStamp : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* window = qobject_cast<QWindow*>(watched);
        if (event->type() == QEvent::Expose && window && window->isExposed() &&
            window->type() == Qt::Window && !seen_) {
            seen_ = true;
            // Runs after the exposure's paint and flush have returned.
            QTimer::singleShot(0, [] {
                timespec now{};
                clock_gettime(CLOCK_MONOTONIC, &now);
                std::printf("first-frame %lld\n",
                            static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
                std::fflush(stdout);
                std::_Exit(0);
            });
        }
        return false;
    }

private:
    bool seen_ = false;
};

} // namespace bench

// Installed by Q_COREAPP_STARTUP_FUNCTION, so that a program whose application
// object is made deep inside it is watched all the same.
inline void installFirstFrameStamp() {
    QCoreApplication::instance()->installEventFilter(new bench::FirstFrameStamp);
}
