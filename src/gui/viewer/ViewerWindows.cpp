// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/viewer/ViewerWindows.h"

#include "core/process/AsyncEvent.h"
#include "core/session/SessionConsole.h"
#include "gui/viewer/ViewerWindow.h"

#include <QCoro/QCoroTask>

#include <utility>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

// The first end a window came to, kept for whoever waits for it.
struct ViewerWindows::Ending {
    AsyncEvent done;
    ViewerWindowEnd end;
};

ViewerWindows::ViewerWindows(QObject* parent) : QObject(parent) {}

ViewerWindows::~ViewerWindows() {
    // Top-level windows have no parent to take them along. Taken out first:
    // each one's end comes back here while it is deleted.
    const QHash<QString, Shown> open = std::exchange(shown_, {});
    for (const Shown& shown : open)
        delete shown.window.data();
}

ViewerWindow* ViewerWindows::windowOf(const QString& serial) const {
    return shown_.value(serial).window.data();
}

bool ViewerWindows::raiseOpenView(const ViewedPhone& phone, SessionConsole& console) {
    ViewerWindow* window = windowOf(phone.serial);
    if (!window)
        return false;
    if (window->isMinimized())
        window->showNormal();
    window->raise();
    window->activateWindow();
    console.say(
        u"The screen of %1 is open already: its window was brought to the front.\r\n\r\n"_s.arg(
            phone.name));
    return true;
}

QCoro::Task<Step<bool>> ViewerWindows::open(ViewedPhone phone, LocalPair pair,
                                            SessionConsole& console) {
    // The pair's local end listens on the loopback address alone.
    auto* window = new ViewerWindow(phone.name, u"127.0.0.1"_s, pair.vnc.number());
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (runner_ && adb_)
        window->setPhone(phone.serial, *runner_, *adb_);
    if (keychain_)
        window->setKeychain(*keychain_);
    const auto ending = std::make_shared<Ending>();
    shown_.insert(phone.serial, Shown{window, ending});
    follow(phone.serial, window, ending);
    window->show();
    window->connectToServer();
    console.say(u"Opened with the built-in viewer: localhost:%1\r\n\r\n"_s.arg(pair.vnc.number()));
    co_return goOn(true);
}

void ViewerWindows::follow(const QString& serial, ViewerWindow* window,
                           const std::shared_ptr<Ending>& ending) {
    connect(window, &ViewerWindow::connectionFailed, this, [ending](const QString& line) {
        end(*ending, ViewerWindowEnd{false, line});
    });
    connect(window, &ViewerWindow::closed, this, [ending] { end(*ending, ViewerWindowEnd{}); });
    // A window deleted without a word (the program ending) has ended too.
    connect(window, &QObject::destroyed, this, [this, serial, ending] {
        const auto found = shown_.find(serial);
        if (found != shown_.end() && found->window.isNull())
            shown_.erase(found);
        end(*ending, ViewerWindowEnd{});
    });
}

void ViewerWindows::end(Ending& ending, ViewerWindowEnd how) {
    if (ending.done.isSet())
        return;
    ending.end = std::move(how);
    ending.done.set();
}

QCoro::Task<ViewerWindowEnd> ViewerWindows::windowEnd(QString serial) {
    const std::shared_ptr<Ending> ending = shown_.value(serial).ending;
    if (!ending)
        co_return ViewerWindowEnd{};
    co_await ending->done;
    co_return ending->end;
}

void ViewerWindows::closeAll() {
    const QList<Shown> open = shown_.values();
    for (const Shown& shown : open) {
        if (shown.window)
            shown.window->close();
    }
}

void ViewerWindows::runAdbWith(CommandRunner& runner, AdbLookup adb) {
    runner_ = &runner;
    adb_ = std::move(adb);
}

} // namespace ostrel
