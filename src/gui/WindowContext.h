// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "gui/Desktop.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>

namespace ostrel {

// What the pieces of the window controller share with it: the desktop that
// runs their dialogs, the window those dialogs belong to, and the
// controller's own answers to whether the window takes a new action now and
// whether the program is on its way out, after which nothing new is shown.
struct WindowContext {
    Desktop& desktop;
    const QPointer<QMainWindow>& window; // null until the window has filled its outlets
    std::function<bool()> idle;
    std::function<bool()> quitting;
};

} // namespace ostrel
