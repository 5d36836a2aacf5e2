// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/session/BridgeSession.h"

#include "core/device/DeviceItems.h"
#include "core/device/PortText.h"
#include "core/session/ViewerChain.h"
#include "core/settings/SessionSettings.h"
#include "core/text/VisibleText.h"
#include "core/view/ViewerLauncher.h"

#include <QCoro/QCoroTask>

#include <functional>
#include <utility>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

BridgeSession::BridgeSession(CommandRunner& runner, SessionSettings& settings, AdbLookup adb,
                             SessionEnvironment environment, Waits waits, QObject* parent)
    : QObject(parent), runner_(runner), settings_(settings), environment_(std::move(environment)),
      waits_(waits), commands_(runner, std::move(adb), waits_.commandTimeout, console_, flow_),
      discovery_(commands_, console_), lifecycle_(commands_, console_, flow_, waits_),
      forward_(commands_, console_, waits_, environment_.localPortFree),
      view_(lifecycle_, forward_, console_, settings_, flow_, waits_), live_(discovery_, flow_) {
    connect(&console_, &SessionConsole::consoleText, this, &BridgeSession::consoleText);
    connect(&console_, &SessionConsole::consoleLink, this, &BridgeSession::consoleLink);
    connect(&discovery_, &DeviceDiscovery::devicesListed, this,
            [this](const QList<ListedDevice>& devices, const QString& selected) {
                Q_EMIT devicesListed(devices, selected);
                // With no phone left, nothing runs that a Stop could reach.
                if (selected.isEmpty() && std::exchange(stateShown_, false))
                    Q_EMIT serverStateChanged(false);
            });
    connect(&lifecycle_, &ServerLifecycle::serverStateChanged, this,
            [this](const QString& serial, bool running) {
                if (serial == discovery_.selectedDevice())
                    showServerState(running);
            });
    // A command may have started adb's server, which the watch then finds
    // soon: at once, unless it looked within its retry interval.
    connect(&commands_, &AdbCommands::commandRan, &live_, &LiveDeviceList::poke);
    connect(&live_, &LiveDeviceList::serverUnfollowable, this,
            [this](const AdbServerAddress& address, const QString& reason) {
                console_.say(u"The device list cannot follow the adb server at %1: %2.\n"_s.arg(
                                 address.text(), visibleText(reason)),
                             MessageKind::Failure);
            });
    connect(&live_, &LiveDeviceList::selectionMoved, this, [this] { probeSelectedDevice(); });
    connect(&flow_, &FlowControl::busyChanged, this, [this](bool busy) {
        if (busy)
            console_.setSilenced(false);
        Q_EMIT busyChanged(busy);
    });
}

BridgeSession::~BridgeSession() {
    // A flow still waiting would otherwise resume into a session that is gone.
    cancel();
    abandonAdbServerQuestion();
}

void BridgeSession::startWatching(const DeviceWatchTiming& timing) {
    if (environment_.adbServer && environment_.followDevices)
        live_.start(*environment_.adbServer, timing);
}

void BridgeSession::cancel() {
    flow_.cancel();
    console_.setSilenced(true);
    runner_.cancel();
    forward_.cancel();
    view_.cancel();
    if (opener_)
        opener_->cancel();
}

void BridgeSession::selectDevice(const QString& serial) {
    discovery_.selectDevice(serial);
}

void BridgeSession::requirePhone(const QString& serial) {
    discovery_.setChoice(DeviceDiscovery::Choice::OnlyUsable);
    discovery_.requireDevice(serial);
}

QCoro::Task<Step<AdbRun>> BridgeSession::startAdbServer() {
    const QStringList arguments{u"start-server"_s};
    co_return co_await commands_.runOnServer(Echo::Quiet, arguments);
}

template <typename R, typename... P>
QCoro::Task<R> BridgeSession::runFlow(QCoro::Task<R> (BridgeSession::*body)(P...),
                                      std::type_identity_t<P>... arguments) {
    const FlowControl::Scope scope(flow_);
    if (!scope.entered())
        co_return R{};
    R result = co_await std::invoke(body, this, std::move(arguments)...);
    co_await probeIfSelectionMoved();
    co_await showForwardedPorts();
    co_return result;
}

QCoro::Task<void> BridgeSession::toggleServer() {
    // The last probe of the selected phone decides, not the button's title.
    const QString selected = discovery_.selectedDevice();
    if (!selected.isEmpty() && lifecycle_.record(selected).serverRunning)
        co_await stopServer();
    else
        co_await startServer();
}

QCoro::Task<bool> BridgeSession::startServer() {
    return runFlow(&BridgeSession::runStart);
}

QCoro::Task<bool> BridgeSession::runStart() {
    console_.say(u"Starting Ostrel VNC Server on device...\r\n"_s);
    const Step<QString> phone = co_await discovery_.adbDevices();
    if (!phone.goesOn())
        co_return false;
    co_return co_await lifecycle_.adbStartOstrelVNCServer(phone.value);
}

QCoro::Task<bool> BridgeSession::stopServer() {
    return runFlow(&BridgeSession::runStop);
}

QCoro::Task<bool> BridgeSession::runStop() {
    console_.say(u"Stopping Ostrel VNC Server on device...\r\n"_s);
    const Step<QString> phone = co_await discovery_.adbDevices();
    if (!phone.goesOn())
        co_return false;
    co_return co_await lifecycle_.adbStopOstrelVNCServer(phone.value);
}

QCoro::Task<bool> BridgeSession::usbConnect(TcpPort port) {
    return runFlow(&BridgeSession::runForward, port);
}

QCoro::Task<bool> BridgeSession::runForward(TcpPort port) {
    console_.say(u"Setting up USB connection...\r\n"_s);
    const Step<QString> phone = co_await discovery_.adbDevices();
    if (!phone.goesOn())
        co_return false;
    const Step<bool> forwarded =
        co_await forward_.adbForward(phone.value, port, environment_.adbServer);
    const bool holds = forwarded.goesOn() && forwarded.value;
    // The port the user gave is the one View uses for this phone from now on.
    if (holds) {
        const QString failure = settings_.rememberVncPort(phone.value, port);
        if (!failure.isEmpty())
            console_.say(u"The port could not be remembered: %1.\r\n"_s.arg(failure),
                         MessageKind::Failure);
    }
    co_return holds;
}

QCoro::Task<bool> BridgeSession::view(std::optional<TcpPort> port, ViewerOpener& opener,
                                      VncPortQuestion ask) {
    return runFlow(&BridgeSession::runView, port, &opener, std::move(ask));
}

QCoro::Task<bool> BridgeSession::view(std::optional<TcpPort> port, ViewerLauncher& launcher,
                                      QString chosenViewer, VncPortQuestion ask) {
    ViewerChain chain(launcher, std::move(chosenViewer));
    co_return co_await view(port, chain, std::move(ask));
}

// A phone whose view is open is shown again as it is: a second connection
// would only compete with the first, and a second pair of ports would stay
// forwarded for nothing.
QCoro::Task<bool> BridgeSession::runView(std::optional<TcpPort> port, ViewerOpener* opener,
                                         VncPortQuestion ask) {
    opener_ = opener;
    bool opened = false;
    const Step<QString> phone = co_await findPhoneToView();
    if (phone.goesOn()) {
        const ViewedPhone viewed = viewedPhone(phone.value);
        opened = opener->raiseOpenView(viewed, console_);
        if (!opened)
            opened = co_await openView(viewed, port, *opener, std::move(ask));
    }
    opener_ = nullptr;
    co_return opened;
}

QCoro::Task<bool> BridgeSession::openView(ViewedPhone phone, std::optional<TcpPort> port,
                                          ViewerOpener& opener, VncPortQuestion ask) {
    const Step<std::optional<LocalPair>> pair =
        co_await view_.reach(phone.serial, port, environment_.adbServer, std::move(ask));
    if (!pair.goesOn())
        co_return false;
    const Step<bool> viewer = co_await opener.open(phone, *pair.value, console_);
    co_return viewer.goesOn() && viewer.value;
}

ViewedPhone BridgeSession::viewedPhone(const QString& serial) const {
    const DeviceItems shown = deviceItems(listedDevices(), serial, deviceModels());
    for (const DeviceItem& item : shown.items) {
        if (item.serial == serial)
            return ViewedPhone{serial, item.text};
    }
    return ViewedPhone{serial, visibleText(serial)};
}

QCoro::Task<std::optional<LocalPair>> BridgeSession::connectForView(std::optional<TcpPort> port) {
    const FlowControl::Scope scope(flow_);
    if (!scope.entered())
        co_return std::nullopt;
    VncPortQuestion noQuestion; // --connect asks nobody: the port is given or remembered
    const Step<std::optional<LocalPair>> pair = co_await runReach(port, std::move(noQuestion));
    if (!pair.goesOn())
        co_return std::nullopt;
    co_return pair.value;
}

QCoro::Task<Step<QString>> BridgeSession::findPhoneToView() {
    console_.say(u"Opening the phone's screen...\r\n"_s);
    co_return co_await discovery_.adbDevices();
}

QCoro::Task<Step<std::optional<LocalPair>>> BridgeSession::runReach(std::optional<TcpPort> port,
                                                                    VncPortQuestion ask) {
    const Step<QString> phone = co_await findPhoneToView();
    if (!phone.goesOn())
        co_return phone.stopped<std::optional<LocalPair>>();
    const Step<std::optional<LocalPair>> pair =
        co_await view_.reach(phone.value, port, environment_.adbServer, std::move(ask));
    co_return pair;
}

QCoro::Task<bool> BridgeSession::usbDisconnect() {
    return runFlow(&BridgeSession::runDisconnect);
}

QCoro::Task<bool> BridgeSession::runDisconnect() {
    console_.say(u"Removing USB connection...\r\n"_s);
    const Step<QString> phone = co_await discovery_.adbDevices();
    if (!phone.goesOn())
        co_return false;
    const Step<bool> freed =
        co_await forward_.adbRemoveForwards(phone.value, environment_.adbServer);
    co_return freed.goesOn() && freed.value;
}

// Read anew each time: other windows and scripts forward and free ports too.
QCoro::Task<void> BridgeSession::showForwardedPorts() {
    if (flow_.cancelled())
        co_return;
    const QString serial = discovery_.selectedDevice();
    if (serial.isEmpty()) {
        Q_EMIT forwardedPortsChanged({});
        co_return;
    }
    const ForwardListRead read = co_await forward_.readForwards(environment_.adbServer);
    if (read.outcome == ForwardListRead::Outcome::Cancelled || flow_.cancelled())
        co_return;
    Q_EMIT forwardedPortsChanged(read.portsOf(serial));
}

QCoro::Task<void> BridgeSession::usbConnectText(QString portText) {
    const PortEntry entry = readPortEntry(portText);
    if (entry.kind == PortEntry::Kind::Blank)
        co_return;
    if (entry.kind == PortEntry::Kind::Port) {
        co_await usbConnect(*entry.port);
        co_return;
    }
    // Entered like a flow so that a line is never said over a running one.
    const FlowControl::Scope scope(flow_);
    if (scope.entered())
        console_.say(notAPortLine(portText), MessageKind::Failure);
}

QCoro::Task<Step<QList<ListedDevice>>> BridgeSession::listDevices() {
    const FlowControl::Scope scope(flow_);
    if (!scope.entered())
        co_return Step<QList<ListedDevice>>{};
    Step<QList<ListedDevice>> listed = co_await discovery_.listDevices();
    if (listed.goesOn()) {
        discovery_.adviseOnUnusableDevices();
        if (discovery_.usableSerials().isEmpty())
            discovery_.sayNoDevice();
    }
    co_return listed;
}

QCoro::Task<void> BridgeSession::probeSelectedDevice() {
    const FlowControl::Scope scope(flow_);
    if (!scope.entered())
        co_return;
    co_await probeSelected();
    co_await showForwardedPorts();
}

// The phone a listing selected in place of one that left is probed as a
// choice is, so that the button and the status line speak of it.
QCoro::Task<void> BridgeSession::probeIfSelectionMoved() {
    if (discovery_.takeSelectionMoved() && !flow_.cancelled())
        co_await probeSelected();
}

QCoro::Task<void> BridgeSession::probeSelected() {
    const QString serial = discovery_.selectedDevice();
    if (serial.isEmpty())
        co_return;
    const Step<ServerProcess> process = co_await lifecycle_.probeServer(serial);
    if (process.goesOn() && !flow_.cancelled() && serial == discovery_.selectedDevice())
        showServerState(process.value.running);
}

void BridgeSession::showServerState(bool running) {
    stateShown_ = true;
    Q_EMIT serverStateChanged(running);
}

// Stopping adb's server would end every forward it holds, this program's
// and any other client's alike; only an answer that lists none lets it go.
// Not a flow: the flows have been cancelled by now.
QCoro::Task<AdbServerVerdict> BridgeSession::stopAdbServerUnlessForwarding() {
    const ForwardListRead read =
        co_await quitReader_.read(environment_.adbServer, waits_.forwardList);
    switch (read.outcome) {
    case ForwardListRead::Outcome::NoServer:
        co_return AdbServerVerdict::NoServer;
    case ForwardListRead::Outcome::Read:
        break;
    case ForwardListRead::Outcome::NoAddress:
    case ForwardListRead::Outcome::Failed:
    case ForwardListRead::Outcome::Cancelled:
        co_return AdbServerVerdict::KeptUnknown;
    }
    // Any line counts, forwards to other kinds of socket included.
    if (!read.payload.trimmed().isEmpty())
        co_return AdbServerVerdict::KeptForwards;
    commands_.launchDetachedAdbProcess({u"kill-server"_s});
    co_return AdbServerVerdict::Stopped;
}

} // namespace ostrel
