// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Waits.h"
#include "core/device/DeviceListing.h"
#include "core/process/CommandRunner.h"
#include "core/server/AdbServerAddress.h"
#include "core/session/AdbCommands.h"
#include "core/session/ConsoleMessage.h"
#include "core/session/DeviceDiscovery.h"
#include "core/session/FlowControl.h"
#include "core/session/ForwardListReader.h"
#include "core/session/LiveDeviceList.h"
#include "core/session/PortForwarder.h"
#include "core/session/ServerLifecycle.h"
#include "core/session/SessionConsole.h"
#include "core/session/SessionEnvironment.h"
#include "core/session/ViewFlow.h"
#include "core/session/ViewerOpener.h"
#include "core/settings/AdbLookup.h"

#include <QCoro/QCoroFwd>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>
#include <type_traits>

namespace ostrel {

class SessionSettings;
class ViewerLauncher;

// What Quit found adb's server doing, and so did with it.
enum class AdbServerVerdict {
    NoServer,     // none answered: nothing to stop
    Stopped,      // it held no forward: kill-server was run
    KeptForwards, // it holds forwards: left running
    KeptUnknown,  // it could not be asked, failed or did not answer in time: left running
};

// One session with the attached phones: finds them, brings the VNC server up
// and down and forwards its ports, one flow and one adb command at a time.
// Knows no widget: it reports through its signals, and the window and the
// command line listen.
class BridgeSession : public QObject {
    Q_OBJECT

public:
    // `adb` says which adb to run, asked anew for every command; `settings`
    // keeps each phone's VNC port and outlives the session.
    BridgeSession(CommandRunner& runner, SessionSettings& settings, AdbLookup adb,
                  SessionEnvironment environment, Waits waits = {}, QObject* parent = nullptr);
    ~BridgeSession() override;

    // The user's flows. A flow asked for while another runs is turned away
    // (false). Each lists the phones anew and works on the selected one.
    QCoro::Task<void> toggleServer(); // start or stop, as the last probe says
    QCoro::Task<bool> startServer();  // true: the server runs at the end
    QCoro::Task<bool> stopServer();   // true: the server does not run at the end
    QCoro::Task<bool> usbConnect(TcpPort port);
    QCoro::Task<void> usbConnectText(QString portText); // as typed in the port prompt
    // Frees the local ports that lead to the selected phone; true when none
    // does at the end.
    QCoro::Task<bool> usbDisconnect();
    // Shows the selected phone's screen: starts its server when it does not
    // run, forwards a local pair of its own, waits for the greeting and opens
    // a viewer. `port` is the phone's VNC port as just given (it is then
    // remembered); without it, the remembered one, and for a phone without
    // one `ask`'s answer. True when a viewer opened, or when `opener` had
    // one open for the phone already and raised it (then nothing is started
    // or forwarded). `opener` outlives the flow.
    QCoro::Task<bool> view(std::optional<TcpPort> port, ViewerOpener& opener,
                           VncPortQuestion ask = {});
    // View in the outside viewers, from the user's chosen one on.
    QCoro::Task<bool> view(std::optional<TcpPort> port, ViewerLauncher& launcher,
                           QString chosenViewer, VncPortQuestion ask = {});
    // View without the viewer, for scripts: the pair once the greeting was read.
    QCoro::Task<std::optional<LocalPair>> connectForView(std::optional<TcpPort> port);
    // Looks, without a word, whether the selected phone's server runs, and
    // says so through serverStateChanged.
    QCoro::Task<void> probeSelectedDevice();

    // The listing alone, for scripts: every attached phone, nothing chosen.
    QCoro::Task<Step<QList<ListedDevice>>> listDevices();

    // The phone the next flow works on, as the user chose it.
    void selectDevice(const QString& serial);
    // A script's phone: every flow works on the usable phone `serial` or on
    // none; without a serial, on the only usable one.
    void requirePhone(const QString& serial);
    QString selectedDevice() const { return discovery_.selectedDevice(); }
    const QList<ListedDevice>& listedDevices() const { return discovery_.listedDevices(); }

    // The console was emptied: the next text begins a line of its own.
    void consoleCleared() { console_.cleared(); }

    // Stops the running command and any wait; the flow ends without another word.
    void cancel();
    bool isBusy() const { return flow_.busy(); }

    // At the program's end: asks adb's server for its forwards, never
    // starting one, and stops it only when it holds none, anyone's.
    QCoro::Task<AdbServerVerdict> stopAdbServerUnlessForwarding();
    // Ends that question at once, leaving the server as it is (the owner is
    // going away).
    void abandonAdbServerQuestion() { quitReader_.cancel(); }

    // Starts adb's server, as adb's own commands do when none answers,
    // without showing what adb prints; not a flow. The caller judges adb's
    // exit status.
    QCoro::Task<Step<AdbRun>> startAdbServer();

    // Where adb's server listens, as the session was told; nothing when that
    // names no server reachable over TCP.
    std::optional<AdbServerAddress> serverAddress() const { return environment_.adbServer; }

    // Follows adb's server's device list from now on, when an address is
    // known and the environment lets the list follow: the list shows phones
    // as they come and go, without a click. Starts no server.
    void startWatching(const DeviceWatchTiming& timing = {});
    // For good, as the program ends: nothing reaches for a server any more.
    void stopWatching() { live_.stop(); }
    // The model of each phone the watch has seen, by serial; adb's text.
    QHash<QString, QString> deviceModels() const { return live_.models(); }
    // Whether the list is the server's own, kept up to date by the watch.
    bool followsDevices() const { return live_.connected(); }

Q_SIGNALS:
    void consoleText(const QString& text, ostrel::MessageKind kind);
    void consoleLink(const QString& description, const QUrl& url, ostrel::MessageKind kind);
    // The device list, refilled: every attached phone and the one selected
    // (empty: none usable).
    void devicesListed(const QList<ostrel::ListedDevice>& devices, const QString& selected);
    // The selected phone's server state.
    void serverStateChanged(bool running);
    void busyChanged(bool busy);
    // The local ports that lead to the selected phone, read after each flow
    // and when a phone is chosen (empty: none, or none known).
    void forwardedPortsChanged(const QList<ostrel::TcpPort>& ports);

private:
    // A user's flow: entered unless another runs (then R's empty value), its
    // body, the probe of a phone a listing selected in its place, the ports
    // shown anew. The body's arguments are copied into the flow, so that
    // nothing it reads lives in the caller.
    template <typename R, typename... P>
    QCoro::Task<R> runFlow(QCoro::Task<R> (BridgeSession::*body)(P...),
                           std::type_identity_t<P>... arguments);
    QCoro::Task<bool> runStart();
    QCoro::Task<bool> runStop();
    QCoro::Task<bool> runForward(TcpPort port);
    QCoro::Task<bool> runDisconnect();
    QCoro::Task<bool> runView(std::optional<TcpPort> port, ViewerOpener* opener,
                              VncPortQuestion ask);
    QCoro::Task<Step<QString>> findPhoneToView();
    QCoro::Task<bool> openView(ViewedPhone phone, std::optional<TcpPort> port, ViewerOpener& opener,
                               VncPortQuestion ask);
    QCoro::Task<Step<std::optional<LocalPair>>> runReach(std::optional<TcpPort> port,
                                                         VncPortQuestion ask);
    // The phone as the device list names it.
    ViewedPhone viewedPhone(const QString& serial) const;
    QCoro::Task<void> showForwardedPorts();
    QCoro::Task<void> probeSelected();
    QCoro::Task<void> probeIfSelectionMoved();
    void showServerState(bool running);

    CommandRunner& runner_;
    SessionSettings& settings_;
    SessionEnvironment environment_;
    Waits waits_;
    SessionConsole console_;
    FlowControl flow_;
    AdbCommands commands_;
    DeviceDiscovery discovery_;
    ServerLifecycle lifecycle_;
    PortForwarder forward_;
    ViewFlow view_;
    ViewerOpener* opener_ = nullptr; // of the View under way, for cancelling
    ForwardListReader quitReader_;   // apart from the flows', which Quit cancels
    LiveDeviceList live_;
    bool stateShown_ = false; // whether a phone's server state is on show
};

} // namespace ostrel
