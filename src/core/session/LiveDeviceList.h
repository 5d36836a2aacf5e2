// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/device/DeviceListing.h"
#include "core/server/AdbServerAddress.h"
#include "core/server/DeviceWatch.h"
#include "core/text/SaidOnce.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

namespace ostrel {

class DeviceDiscovery;
class FlowControl;

// Keeps the session's device list in step with adb's server while the
// program runs: the watch's every change reaches the list, and the selection
// follows it whenever no flow runs (a flow's phone never changes under it).
// Without an address there is no watch, and the flows list as they always
// did. No server is nothing to tell (the program starts none for the list);
// a server that refuses or breaks the protocol is told once for each reason.
class LiveDeviceList : public QObject {
    Q_OBJECT

public:
    LiveDeviceList(DeviceDiscovery& discovery, FlowControl& flow, QObject* parent = nullptr);
    ~LiveDeviceList() override;

    // Begins following the server at `address`; once only, and never after stop().
    void start(const AdbServerAddress& address, const DeviceWatchTiming& timing = {});
    // For good: the program is ending, and no server is to be reached again.
    void stop();
    // adb ran a command, which may have started a server. The watch looks
    // at once unless it looked within its retry interval.
    void poke();

    bool started() const { return watch_ != nullptr; }
    bool connected() const { return watch_ && watch_->isConnected(); }
    // The models of the phones listed, by serial: adb's own text.
    QHash<QString, QString> models() const {
        return watch_ ? watch_->models() : QHash<QString, QString>();
    }

Q_SIGNALS:
    // No flow runs and another phone was selected: it wants its silent probe.
    void selectionMoved();
    // The server at `address` answered in a way the list cannot follow,
    // for a reason not told before. `reason` may quote the server.
    void serverUnfollowable(const ostrel::AdbServerAddress& address, const QString& reason);

private:
    void followSoon();
    void follow();
    void onAttemptFailed(const QString& reason, bool serverAnswered);

    DeviceDiscovery& discovery_;
    FlowControl& flow_;
    std::unique_ptr<DeviceWatch> watch_;
    SaidOnce told_;
    QTimer followTimer_;
    QTimer noServerTimer_;
    bool stopped_ = false;
    bool lost_ = false; // the server went away, and the list has not said so yet
};

} // namespace ostrel
