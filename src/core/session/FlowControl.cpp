// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/session/FlowControl.h"

#include <QCoro/QCoroTask>

namespace ostrel {

FlowControl::FlowControl(QObject* parent) : QObject(parent) {
    pauseTimer_.setSingleShot(true);
    // A coarse timer lands a pause up to 5 % late, which the start flow's
    // one-second polls add up.
    pauseTimer_.setTimerType(Qt::PreciseTimer);
    connect(&pauseTimer_, &QTimer::timeout, this, [this] {
        if (pauseEnded_)
            pauseEnded_->set();
    });
}

FlowControl::~FlowControl() {
    // A flow still waiting would otherwise resume into an owner that is gone.
    cancel();
}

bool FlowControl::begin() {
    if (busy_)
        return false;
    busy_ = true;
    cancelled_ = false;
    Q_EMIT busyChanged(true);
    return true;
}

void FlowControl::end() {
    busy_ = false;
    Q_EMIT busyChanged(false);
}

void FlowControl::cancel() {
    cancelled_ = true;
    pauseTimer_.stop();
    if (pauseEnded_)
        pauseEnded_->set();
}

QCoro::Task<bool> FlowControl::pause(std::chrono::milliseconds duration) {
    if (cancelled_ || pauseEnded_ != nullptr)
        co_return false;
    AsyncEvent ended;
    pauseEnded_ = &ended;
    pauseTimer_.start(duration);
    co_await ended;
    pauseEnded_ = nullptr;
    co_return !cancelled_;
}

} // namespace ostrel
