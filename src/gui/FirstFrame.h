// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

class QObject;
class QWidget;

namespace ostrel {

// Runs `action` once, after the window's first frame has been painted and handed
// to the screen, unless `context` is gone by then. A window that is never shown
// never runs it.
void runAfterFirstFrame(QWidget* window, QObject* context, std::function<void()> action);

} // namespace ostrel
