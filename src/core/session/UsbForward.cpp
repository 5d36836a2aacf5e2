#include "core/session/UsbForward.h"

#include "core/bridge/BridgeState.h"
#include "core/device/AdbFailure.h"
#include "core/device/PortText.h"
#include "core/session/AdbCommands.h"
#include "core/session/SessionConsole.h"

#include <QCoro/QCoroTask>
#include <QUrl>

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

UsbForward::UsbForward(AdbCommands& commands, SessionConsole& console, QObject* parent)
    : QObject(parent), commands_(commands), console_(console) {}

QCoro::Task<Step<bool>> UsbForward::adbForward(QString serial, int32_t port) {
    const Step<bool> vnc = co_await forwardPort(serial, port);
    if (!vnc.goesOn())
        co_return vnc;
    if (vnc.value)
        sayAddress(u"You can connect to the following address with VNC clients while the "
                   "android device is connected with USB:\r\n"_s,
                   u"vnc://localhost:%1"_s.arg(port));
    const int64_t webPort = webPortFor(port);
    if (webPort < LowestPort) {
        // Not a failure: no such web port can exist, on the phone either.
        console_.say(
            u"No web port was forwarded: port %1 minus 100 is below %2.\r\n"_s.arg(port).arg(
                LowestPort));
        co_return vnc;
    }
    const Step<bool> web = co_await forwardPort(serial, static_cast<int32_t>(webPort));
    if (!web.goesOn())
        co_return web;
    if (web.value)
        sayAddress(u"You can browse to the following address while the android device is "
                   "connected with USB:\r\n"_s,
                   u"http://localhost:%1"_s.arg(webPort));
    co_return goOn(vnc.value && web.value);
}

void UsbForward::sayAddress(const QString& sentence, const QString& address) {
    console_.say(sentence);
    console_.say(u"    "_s);
    console_.sayLink(address + u"\r\n\r\n"_s, QUrl(address), MessageKind::Progress);
}

// adb's exit status is the one reliable verdict on a forward: a working one
// prints the port, a refused one prints nothing and explains on standard error.
QCoro::Task<Step<bool>> UsbForward::forwardPort(QString serial, int32_t port) {
    const QString spec = portSpec(port);
    const QStringList forward{u"forward"_s, spec, spec};
    const Step<AdbRun> command = co_await commands_.runOnDevice(serial, Mode::Forward, forward);
    const bool holds = command.value.succeeded();
    forwardInForce_ = forwardInForce_ || holds;
    if (!command.goesOn())
        co_return command.stopped<bool>();
    if (!holds) {
        const QString reason = standardErrorForConsole(command.value);
        console_.say(reason.isEmpty()
                         ? u"Error: adb could not forward %1 (exit status %2).\r\n"_s.arg(spec).arg(
                               command.value.exitCode)
                         : reason,
                     MessageKind::Failure);
    }
    co_return goOn(holds);
}

} // namespace ostrel
