// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/device/DeviceListing.h"
#include "core/process/AdbRun.h"
#include "core/server/DeviceWatch.h"
#include "core/session/ConsoleMessage.h"
#include "core/text/SaidOnce.h"

#include <QCoro/QCoroFwd>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

namespace ostrel {
class BridgeSession;
}

namespace ostrel::cli {

class CommandLineOutput;

// The verb's waits; tests shorten them.
struct WatchTiming {
    DeviceWatchTiming watch;
    // How long a server may take to answer before the verb gives up.
    std::chrono::milliseconds firstServerLimit{WatchFirstServerLimit};
};

// `--watch`: prints every attached phone as `SERIAL<TAB>STATE`, then a line
// for each change (`SERIAL<TAB>gone` for one that left), until it is
// stopped. Unlike the window it starts adb's server when none answers, as
// scripts expect of an adb command, and again whenever the server is lost:
// one `adb start-server` at a time, and only after one of the watch's
// attempts, which come at most once per retry interval. At start-up it says
// nothing until it gives up, then one line; once it has followed a server,
// each reason for losing it is said once, until a server is followed again.
class WatchVerb : public QObject {
    Q_OBJECT

public:
    // `serial` non-empty: only that phone's lines.
    WatchVerb(BridgeSession& session, CommandLineOutput& output, QString serial,
              const WatchTiming& timing = {}, QObject* parent = nullptr);
    ~WatchVerb() override;

    void start();
    // Ends the watch; `finished` follows with `status`.
    void stop(int status);

Q_SIGNALS:
    void finished(int status);

private:
    void print(const QList<ListedDevice>& devices);
    void onConnectedChanged(bool connected);
    void onAttemptFailed(const QString& reason, bool serverAnswered);
    void onConsoleText(const QString& text, MessageKind kind);
    void giveUp();
    QString problemLine() const;
    void sayOnce(const QString& line);
    QCoro::Task<void> startServer();

    BridgeSession& session_;
    CommandLineOutput& output_;
    QString serial_;
    WatchTiming timing_;
    std::unique_ptr<DeviceWatch> watch_;
    QList<ListedDevice> printed_;
    QTimer firstServerLimit_;
    QString watchProblem_;        // the watch's last failure
    bool serverAnswered_ = false; // in that failure
    QString startProblem_;        // why the last adb start-server failed; empty: it did not
    SaidOnce said_;
    bool followed_ = false; // a server has been followed
    bool startingServer_ = false;
    bool ended_ = false;
};

} // namespace ostrel::cli
