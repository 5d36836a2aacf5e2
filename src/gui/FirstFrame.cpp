// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/FirstFrame.h"

#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace ostrel {

namespace {

// Qt paints and flushes a widget window while it delivers the window's first
// exposure, so a zero timer posted from that event runs after the frame is out.
// Watching the show or a zero timer after show() is not enough: the platform
// may expose the window only after several more turns of the event loop.
class FirstFrameWatcher : public QObject {
public:
    FirstFrameWatcher(QWidget* window, QObject* context, std::function<void()> action)
        : QObject(window), window_(window), context_(context), action_(std::move(action)) {
        watch();
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched == window_)
            watch();
        else if (event->type() == QEvent::Expose && window_->windowHandle() == watched &&
                 window_->windowHandle()->isExposed())
            fire();
        return false;
    }

private:
    // The native window exists only once the widget has been shown.
    void watch() {
        QWindow* handle = window_->windowHandle();
        if (!handle) {
            window_->installEventFilter(this);
            return;
        }
        window_->removeEventFilter(this);
        if (handle->isExposed())
            fire(); // the first frame is out already
        else
            handle->installEventFilter(this);
    }

    void fire() {
        if (QWindow* handle = window_->windowHandle())
            handle->removeEventFilter(this);
        if (context_)
            QTimer::singleShot(0, context_, std::move(action_));
        deleteLater();
    }

    QWidget* window_;
    QPointer<QObject> context_;
    std::function<void()> action_;
};

} // namespace

void runAfterFirstFrame(QWidget* window, QObject* context, std::function<void()> action) {
    new FirstFrameWatcher(window, context, std::move(action));
}

} // namespace ostrel
