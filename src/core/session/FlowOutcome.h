// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <utility>

namespace ostrel {

// Whether a flow goes on after a step. A step that ends the flow has said why;
// a cancelled one says nothing more.
enum class FlowStep { GoOn, Ends, Cancelled };

// What one step of a flow found, and whether the flow goes on.
template <typename T> struct Step {
    FlowStep flow = FlowStep::Ends;
    T value{};

    bool goesOn() const { return flow == FlowStep::GoOn; }
    // The same verdict, for a step of another kind that stops here.
    template <typename U> Step<U> stopped() const { return Step<U>{flow, U{}}; }
};

template <typename T> Step<T> goOn(T value) {
    return Step<T>{FlowStep::GoOn, std::move(value)};
}

} // namespace ostrel
