#pragma once

#include "core/Waits.h"
#include "core/bridge/BridgeState.h"
#include "core/process/AdbRun.h"
#ifndef Q_MOC_RUN // moc cannot read the standard coroutine headers
#include "core/process/AsyncEvent.h"
#endif
#include "core/process/CommandRunner.h"
#include "core/process/OutputLineBuffer.h"
#include "core/session/ConsoleMessage.h"

#include <QCoro/QCoroFwd>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <functional>

namespace ostrel {

// One attached-phone session: finds devices, brings the VNC server up and down
// and forwards its ports, one adb command at a time. Knows no widget: it
// reports through its signals, and the window and the command line listen.
class BridgeSession : public QObject {
    Q_OBJECT

public:
    // `adbPath` says which adb to run, read anew for every command.
    BridgeSession(CommandRunner& runner, std::function<QString()> adbPath, Waits waits = {},
                  QObject* parent = nullptr);
    ~BridgeSession() override;

    // The user's flows. A flow asked for while another runs is turned away.
    QCoro::Task<void> toggleServer();
    QCoro::Task<void> usbConnect(int32_t port);
    QCoro::Task<void> usbConnectText(QString portText); // as typed in the port prompt

    // The flows' steps, under the names the rest of the program knows them by.
    QCoro::Task<int32_t> adbDevices();
    void handleAdbDevicesOutput();
    QCoro::Task<bool> adbStartOstrelVNCServer();
    QCoro::Task<bool> adbStopOstrelVNCServer();
    QCoro::Task<bool> checkOstrelVNCServerFileExists();
    // The same check, telling "not there" from "could not be asked" (the
    // reason for the latter has been written).
    enum class ServerPresence { Found, Missing, Unknown };
    QCoro::Task<ServerPresence> checkServerPresence();
    QCoro::Task<bool> findOstrelVNCServerPid(); // false: the flow must end
    QCoro::Task<bool> adbForward(int32_t port); // true: every possible forward holds
    void updateStatus();

    QCoro::Task<AdbRun> launchAdbProcess(QStringList arguments, bool wait);
    // A command that outlives the program; its output goes to `outputFile`
    // (nowhere when empty).
    AdbRun launchDetachedAdbProcess(const QStringList& arguments, const QString& outputFile = {});
    void writeStdOut(const QString& text);
    void processOneLineFromOutputMessage(char* line);

    // Marks a flow as running for as long as it lives; a second one is not
    // entered while the first runs.
    class FlowScope {
    public:
        explicit FlowScope(BridgeSession& session)
            : session_(session.beginFlow() ? &session : nullptr) {}
        ~FlowScope() {
            if (session_)
                session_->endFlow();
        }
        FlowScope(const FlowScope&) = delete;
        FlowScope& operator=(const FlowScope&) = delete;
        bool entered() const { return session_ != nullptr; }

    private:
        BridgeSession* session_;
    };

    // The device the next command is aimed at, as the user chose it. What is
    // known about its server comes along into bridge().
    void selectDevice(const QString& serial);
    // A flow that looks, without a word, whether the selected device's server
    // runs, and says so through serverStateChanged.
    QCoro::Task<void> probeSelectedDevice();
    QString selectedDevice() const { return selectedSerial_; }
    QStringList listedDevices() const { return listedSerials_; }

    // The console was emptied: the next text begins a line of its own.
    void consoleCleared() { consoleAtLineStart_ = true; }

    // Stops the running command and any wait; the flow ends without another word.
    void cancel();
    bool isBusy() const { return busy_; }
    bool isCancelled() const { return cancelled_; }

    // At the program's end: stops adb's server unless a forward it holds works.
    void stopAdbServerUnlessForwarding();
    bool forwardInForce() const { return forwardInForce_; }

    BridgeState& bridge() { return bridge_; }
    const OutputLineBuffer& outputLineBuffer() const { return lineBuffer_; }
    const Waits& waits() const { return waits_; }

Q_SIGNALS:
    void consoleText(const QString& text, ostrel::MessageKind kind);
    void consoleLink(const QString& description, const QUrl& url, ostrel::MessageKind kind);
    // The device list, refilled: a usable serial per item, or "No device".
    void devicesListed(const QStringList& items, int selected);
    void serverStateChanged(bool running);
    void busyChanged(bool busy);

private:
    // What a device command leaves for the flow that ran it.
    struct DeviceCommand {
        bool flowGoesOn = false; // false: adb did not run to its end, or the device is gone
        AdbRun run;
    };
    enum class Presence { Found, Missing, Refused, FlowEnded };

    void say(const QString& text, MessageKind kind = MessageKind::Progress);
    void emitConsoleText(const QString& text, MessageKind kind);
    void takeCommandOutput(const AdbRun& run);
    void sayLink(const QString& description, const QUrl& url, MessageKind kind);
    bool beginFlow();
    void endFlow();
    QCoro::Task<bool> pause(std::chrono::milliseconds duration); // false: cancelled
    bool reportIfNotFinished(const AdbRun& run);

    QCoro::Task<DeviceCommand> runDeviceCommand(int32_t mode, QStringList arguments);
    QCoro::Task<DeviceCommand> runOnDevice(int32_t mode, QStringList arguments);
    QStringList forSelectedDevice(const QStringList& arguments) const;
    void forgetDevices();
    void switchKnowledgeTo(const QString& serial);
    void adviseOnUnusableDevices(const QByteArray& listing);

    QCoro::Task<bool> probeServerProcess();
    QCoro::Task<bool> reachDeviceAndProbe();
    QCoro::Task<Presence> probeServerExecutable();
    QCoro::Task<Presence> listServerExecutable(const char* package, const char* path,
                                               QString* refusal);
    QCoro::Task<bool> bringUpServer();
    QCoro::Task<bool> launchMainActivity();
    QCoro::Task<Presence> waitForServerExecutable();
    QCoro::Task<bool> runServer();
    QCoro::Task<bool> pollForServer();
    QCoro::Task<bool> takeDownServer();
    void showServerState(bool running);
    void reportStart();
    void reportStop();
    QCoro::Task<bool> forwardPort(int32_t port);

    CommandRunner& runner_;
    std::function<QString()> adbPath_;
    Waits waits_;
    BridgeState bridge_;
    OutputLineBuffer lineBuffer_;
    QStringList listedSerials_;
    QString selectedSerial_;
    // What is known about the servers of the devices not selected now.
    QHash<QString, ServerKnowledge> knowledge_;
    QString serverOutputFile_; // of the last launch in this flow
    // Whether the last console text ended its line.
    bool consoleAtLineStart_ = true;
    bool busy_ = false;
    bool cancelled_ = false;
    // Forwards are never removed, so one that worked holds until adb's server ends.
    bool forwardInForce_ = false;
    QTimer pauseTimer_;
    AsyncEvent* pauseEnded_ = nullptr;
};

} // namespace ostrel
