// Reaching the device's VNC and web ports through localhost over USB.
#include "core/device/AdbFailure.h"
#include "core/device/PortText.h"
#include "core/session/BridgeSession.h"
#include <QCoro/QCoroTask>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

namespace {

// The web port lies 100 below the VNC port; computed wide so that no VNC port
// can wrap it round into a valid-looking one.
int64_t webPortFor(int32_t vncPort) {
    return int64_t{vncPort} - 100;
}

QString portSpec(int64_t port) {
    return u"tcp:%1"_s.arg(port);
}

} // namespace

QCoro::Task<void> BridgeSession::usbConnectText(QString portText) {
    const PortEntry entry = readPortEntry(portText);
    if (entry.kind == PortEntry::Kind::Blank)
        co_return;
    if (entry.kind == PortEntry::Kind::Port) {
        co_await usbConnect(entry.port);
        co_return;
    }
    // Entered like a flow so that a line is never said over a running one.
    const FlowScope flow(*this);
    if (flow.entered())
        say(notAPortLine(portText), MessageKind::Failure);
}

QCoro::Task<bool> BridgeSession::adbForward(int32_t port) {
    const int32_t devices = co_await adbDevices();
    if (devices < 1)
        co_return false;
    const bool vncTried = co_await forwardPort(port);
    if (!vncTried)
        co_return false;
    const bool vncForwarded = bridge_.forwardEstablished;
    if (vncForwarded) {
        say(u"You can connect to the following address with VNC clients while the "
            "android device is connected with USB:\r\n"_s);
        say(u"    "_s);
        const QString address = u"vnc://localhost:%1"_s.arg(port);
        sayLink(address + u"\r\n\r\n"_s, QUrl(address), MessageKind::Progress);
    }
    const int64_t webPort = webPortFor(port);
    if (webPort < LowestPort) {
        // Not a failure: no such web port can exist, on the device either.
        say(u"No web port was forwarded: port %1 minus 100 is below %2.\r\n"_s.arg(port).arg(
            LowestPort));
        co_return vncForwarded;
    }
    const bool webTried = co_await forwardPort(static_cast<int32_t>(webPort));
    if (!webTried)
        co_return false;
    if (bridge_.forwardEstablished) {
        say(u"You can browse to the following address while the android device is "
            "connected with USB:\r\n"_s);
        say(u"    "_s);
        const QString address = u"http://localhost:%1"_s.arg(webPort);
        sayLink(address + u"\r\n\r\n"_s, QUrl(address), MessageKind::Progress);
    }
    co_return vncForwarded&& bridge_.forwardEstablished;
}

// adb's exit status is the one reliable verdict on a forward: a working one
// prints the port, a refused one prints nothing and explains on standard error.
// False when the flow must end.
QCoro::Task<bool> BridgeSession::forwardPort(int32_t port) {
    bridge_.forwardEstablished = true;
    const QString spec = portSpec(port);
    const QStringList forward{u"forward"_s, spec, spec};
    const DeviceCommand command = co_await runOnDevice(Mode::Forward, forward);
    bridge_.forwardEstablished = command.run.succeeded();
    forwardInForce_ = forwardInForce_ || bridge_.forwardEstablished;
    if (!command.flowGoesOn)
        co_return false;
    if (!bridge_.forwardEstablished) {
        const QString reason = standardErrorForConsole(command.run);
        say(reason.isEmpty()
                ? u"Error: adb could not forward %1 (exit status %2).\r\n"_s.arg(spec).arg(
                      command.run.exitCode)
                : reason,
            MessageKind::Failure);
    }
    co_return true;
}

} // namespace ostrel
