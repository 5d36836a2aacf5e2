// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#ifndef Q_MOC_RUN // moc cannot read the standard coroutine headers
#include "core/process/AsyncEvent.h"
#endif

#include <QCoro/QCoroFwd>
#include <QObject>
#include <QTimer>

#include <chrono>

namespace ostrel {

// One flow at a time: whether one runs, its cancel, and its waits.
class FlowControl : public QObject {
    Q_OBJECT

public:
    explicit FlowControl(QObject* parent = nullptr);
    ~FlowControl() override;

    // Marks a flow as running for as long as it lives; a second one is not
    // entered while the first runs.
    class Scope {
    public:
        explicit Scope(FlowControl& control) : control_(control.begin() ? &control : nullptr) {}
        ~Scope() {
            if (control_)
                control_->end();
        }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;
        bool entered() const { return control_ != nullptr; }

    private:
        FlowControl* control_;
    };

    bool busy() const { return busy_; }
    bool cancelled() const { return cancelled_; }
    // Ends any wait at once; the flow then ends without another word.
    void cancel();

    // Waits `duration`; false when the flow was cancelled meanwhile. One wait
    // at a time: a second caller is refused (false) rather than left waiting.
    QCoro::Task<bool> pause(std::chrono::milliseconds duration);

Q_SIGNALS:
    void busyChanged(bool busy);

private:
    bool begin();
    void end();

    QTimer pauseTimer_;
    AsyncEvent* pauseEnded_ = nullptr;
    bool busy_ = false;
    bool cancelled_ = false;
};

} // namespace ostrel
