// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Waits.h"
#include "core/device/ProcessListing.h"
#include "core/session/FlowOutcome.h"
#include "core/session/PhoneRecord.h"
#include "core/session/ServerOutputFolder.h"

#include <QCoro/QCoroFwd>
#include <QHash>
#include <QObject>
#include <QString>

#include <optional>

namespace ostrel {

class AdbCommands;
class FlowControl;
class SessionConsole;

// Whether the app's server executable is on a phone.
enum class ServerPresence { Found, Missing, Unknown }; // Unknown: it could not be asked

// Bringing the VNC server up on one phone, taking it down, and saying which
// state it is in. Every step names the phone it is for and returns what it
// found; what is learned is kept per phone.
class ServerLifecycle : public QObject {
    Q_OBJECT

public:
    ServerLifecycle(AdbCommands& commands, SessionConsole& console, FlowControl& flow,
                    const Waits& waits, QObject* parent = nullptr);

    // True when the server runs at the end (start) or no longer runs (stop).
    QCoro::Task<bool> adbStartOstrelVNCServer(QString serial);
    QCoro::Task<bool> adbStopOstrelVNCServer(QString serial);

    // Looks for the executable under each package; the first found is kept.
    QCoro::Task<Step<ServerPresence>> checkOstrelVNCServerFileExists(QString serial);
    // Lists the phone's processes, once the executable's path is known.
    QCoro::Task<Step<ServerProcess>> findOstrelVNCServerPid(QString serial);
    // The path first when it is not known yet, then the process listing:
    // what a silent probe of a newly chosen phone does.
    QCoro::Task<Step<ServerProcess>> probeServer(QString serial);

    // Shows the state and writes its closing lines.
    void updateStatus(const QString& serial, bool running);

    PhoneRecord record(const QString& serial) const { return phones_.value(serial); }

Q_SIGNALS:
    void serverStateChanged(const QString& serial, bool running);

private:
    // The launched server's output once it was launched; nothing when the
    // start ended before, having said why.
    QCoro::Task<std::optional<ServerOutput>> bringUpServer(QString serial);
    QCoro::Task<bool> launchMainActivity(QString serial);
    QCoro::Task<Step<ServerPresence>> waitForServerExecutable(QString serial);
    std::optional<ServerOutput> runServer(const QString& serial);
    QCoro::Task<bool> pollForServer(QString serial);
    QCoro::Task<bool> takeDownServer(QString serial);
    void reportStart(const QString& serial, const ServerOutput& output);
    void reportStop(const QString& serial);
    void sayNotInstalled();
    void showServerState(const QString& serial, bool running);

    AdbCommands& commands_;
    SessionConsole& console_;
    FlowControl& flow_;
    const Waits& waits_;
    QHash<QString, PhoneRecord> phones_;
    ServerOutputFolder outputFolder_; // for the whole run
};

} // namespace ostrel
