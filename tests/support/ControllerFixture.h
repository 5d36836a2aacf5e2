// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/process/ProcessRunner.h"
#include "core/settings/QSettingsStore.h"
#include "gui/AppDelegate.h"
#include "gui/MainWindow.h"
#include "support/FakeAdbServer.h"
#include "support/FakeDesktop.h"
#include "support/ScriptedViewers.h"
#include "support/SessionFixture.h"
#include "support/StandInAdb.h"

#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <optional>

namespace ostrel::test {

// A controller on a real, offscreen main window, with its settings in a file
// of its own (`settingsFile`, or one in its temporary folder) and its desktop
// replaced. Its adb commands go to `runner`
// when one is given (a scripted phone), otherwise to real processes. Its adb
// server's socket is `adbServer`, whose device list the window follows unless
// told not to, when one is given; otherwise a fake one, whose forward list
// `forwardsHeld` gives (none unless a test says otherwise), and the list is
// not followed. View's viewers are `ownViewers` when given, else `viewers`.
class ControllerFixture {
public:
    explicit ControllerFixture(Waits waits = fastWaits(),
                               QUrl site = QUrl(QStringLiteral("http://127.0.0.1:9")),
                               bool awake = true, CommandRunner* runner = nullptr,
                               std::optional<AdbServerAddress> adbServer = std::nullopt,
                               bool followed = true, ViewerTrials* ownViewers = nullptr,
                               const QString& settingsFile = {});
    ~ControllerFixture();

    // Makes the controller run `adbPath`, as a user's choice would.
    void chooseAdb(const QString& adbPath);
    QString consoleText() const;
    // Whether a flow runs: the window takes no new action while one does.
    bool flowRunning() const;
    // After Quit, which leaves every action off: whether no flow runs any
    // more, as Clear tells by emptying the console, which it refuses while
    // one does. What the console held is lost.
    bool noFlowAfterQuit();

    QTemporaryDir directory;
    QSettingsStore settings;
    FakeDesktop desktop;
    // No window test runs a real viewer: View's programs are these.
    ScriptedViewers viewers;
    FakeAdbServer server;
    std::function<QByteArray()> forwardsHeld = [] { return QByteArray(); };
    // Whether a port on this computer is free, as the controller's session sees it.
    LocalPortProbe localPortFree = localPortIsFree;
    std::unique_ptr<ProcessRunner> processes;
    std::unique_ptr<AppDelegate> controller;
    std::unique_ptr<MainWindow> window;
};

} // namespace ostrel::test
