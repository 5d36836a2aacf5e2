// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <coroutine>
#include <utility>
#include <vector>

namespace ostrel {

// Something a coroutine can wait for, set once. Waiters are resumed directly
// inside set(), so a cancel that sets it unwinds the waiting flow before
// cancel() returns: nothing is left suspended to resume into a destroyed owner.
class AsyncEvent {
public:
    bool isSet() const { return set_; }

    void set() {
        if (set_)
            return;
        set_ = true;
        // A resumed waiter may destroy this event's owner: touch nothing after.
        const std::vector<std::coroutine_handle<>> waiters = std::exchange(waiters_, {});
        for (std::coroutine_handle<> waiter : waiters)
            waiter.resume();
    }

    struct Awaiter {
        AsyncEvent& event;
        bool await_ready() const noexcept { return event.set_; }
        void await_suspend(std::coroutine_handle<> waiter) { event.waiters_.push_back(waiter); }
        void await_resume() const noexcept {}
    };
    Awaiter operator co_await() { return Awaiter{*this}; }

private:
    bool set_ = false;
    std::vector<std::coroutine_handle<>> waiters_;
};

} // namespace ostrel
