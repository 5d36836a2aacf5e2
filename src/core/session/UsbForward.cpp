#include "core/session/UsbForward.h"

#include "core/device/AdbFailure.h"
#include "core/device/PortText.h"
#include "core/session/AdbCommands.h"
#include "core/session/SessionConsole.h"
#include "core/text/VisibleText.h"

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

QString tcpSocketName(int64_t port) {
    return u"tcp:%1"_s.arg(port);
}

bool isTcpPort(int64_t port) {
    return port >= 1 && port <= 65535;
}

// The phone other than `serial` that `port` leads to, if any.
QString otherPhoneOn(const ForwardListRead& forwards, int64_t port, const QString& serial) {
    if (!isTcpPort(port))
        return {};
    const QString owner = forwards.serialOn(static_cast<uint16_t>(port));
    return owner == serial ? QString() : owner;
}

bool leadsTo(const ForwardListRead& forwards, int64_t port, const QString& serial) {
    return isTcpPort(port) && forwards.serialOn(static_cast<uint16_t>(port)) == serial;
}

// adb's answer to --no-rebind when the port has a listener already.
bool rebindRefused(const AdbRun& run) {
    return run.standardError.contains("cannot rebind existing socket");
}

QString unreadableListText(const ForwardListRead& read) {
    if (read.outcome == ForwardListRead::Outcome::NoAddress)
        return u"Error: adb's forwards cannot be read: the environment names no adb server "
               "this program can reach.\r\n"_s;
    return u"Error: adb's forwards could not be read: %1.\r\n"_s.arg(visibleText(read.message));
}

} // namespace

QString localPortsText(const QList<uint16_t>& ports) {
    QStringList names;
    for (const uint16_t port : ports)
        names.append(u"localhost:%1"_s.arg(port));
    if (names.size() < 2)
        return names.value(0);
    const QString last = names.takeLast();
    return names.join(u", "_s) + u" and "_s + last;
}

UsbForward::UsbForward(AdbCommands& commands, SessionConsole& console, Waits waits, QObject* parent)
    : QObject(parent), commands_(commands), console_(console), waits_(waits) {}

void UsbForward::cancel() {
    reader_.cancel();
    greetings_.cancel();
}

QCoro::Task<ForwardListRead> UsbForward::readForwards(std::optional<AdbServerAddress> server) {
    const ForwardListRead read = co_await reader_.read(server, waits_.forwardList);
    co_return read;
}

// A list that cannot be read takes nothing over either: every port is then
// asked for with --no-rebind, which adb refuses for a port in use.
QCoro::Task<Step<bool>> UsbForward::adbForward(QString serial, int32_t port,
                                               std::optional<AdbServerAddress> server) {
    const ForwardListRead known = co_await reader_.read(server, waits_.forwardList);
    if (known.outcome == ForwardListRead::Outcome::Cancelled)
        co_return Step<bool>{FlowStep::Cancelled, false};
    const int64_t webPort = webPortFor(port);
    // Refused before any command, so that neither port moves to this phone.
    for (const int64_t wanted : {int64_t{port}, webPort}) {
        const QString other = otherPhoneOn(known, wanted, serial);
        if (!other.isEmpty()) {
            sayTaken(static_cast<int32_t>(wanted), other);
            co_return goOn(false);
        }
    }

    const bool vncLeadsHere = leadsTo(known, port, serial);
    const Step<Outcome> vnc = co_await forwardPort(serial, port, vncLeadsHere, server);
    if (!vnc.goesOn())
        co_return vnc.stopped<bool>();
    if (vnc.value == Outcome::Refused)
        co_return goOn(false);
    const bool vncHolds = vnc.value == Outcome::Holds;
    if (vncHolds)
        sayAddress(u"You can connect to the following address with VNC clients while the "
                   "android device is connected with USB:\r\n"_s,
                   u"vnc://localhost:%1"_s.arg(port));
    bool webHolds = true;
    if (webPort < LowestPort) {
        // Not a failure: no such web port can exist, on the phone either.
        console_.say(
            u"No web port was forwarded: port %1 minus 100 is below %2.\r\n"_s.arg(port).arg(
                LowestPort));
    } else {
        const auto webLocal = static_cast<int32_t>(webPort);
        const bool webLeadsHere = leadsTo(known, webPort, serial);
        const Step<Outcome> web = co_await forwardPort(serial, webLocal, webLeadsHere, server);
        if (!web.goesOn())
            co_return web.stopped<bool>();
        webHolds = web.value == Outcome::Holds;
        if (webHolds)
            sayAddress(u"You can browse to the following address while the android device is "
                       "connected with USB:\r\n"_s,
                       u"http://localhost:%1"_s.arg(webPort));
    }
    if (vncHolds && isTcpPort(port)) {
        const Step<bool> greeted = co_await checkGreeting(port);
        if (!greeted.goesOn())
            co_return greeted;
    }
    co_return goOn(vncHolds && webHolds);
}

void UsbForward::sayAddress(const QString& sentence, const QString& address) {
    console_.say(sentence);
    console_.say(u"    "_s);
    console_.sayLink(address + u"\r\n\r\n"_s, QUrl(address), MessageKind::Progress);
}

void UsbForward::sayTaken(int32_t port, const QString& other) {
    console_.say(
        u"Error: localhost:%1 already leads to device %2; choose another port.\r\n"_s.arg(port).arg(
            visibleText(other)),
        MessageKind::Failure);
}

// adb's exit status is the one reliable verdict on a forward: a working one
// prints the port, a refused one prints nothing and explains on standard error.
QCoro::Task<Step<UsbForward::Outcome>>
UsbForward::forwardPort(QString serial, int32_t port, bool renew,
                        std::optional<AdbServerAddress> server) {
    const QString socketName = tcpSocketName(port);
    // Only a port that already leads to this phone is forwarded again as it
    // is; any other must be free, or adb refuses it.
    const QStringList forward =
        renew ? QStringList{u"forward"_s, socketName, socketName}
              : QStringList{u"forward"_s, u"--no-rebind"_s, socketName, socketName};
    const Step<AdbRun> command = co_await commands_.runOnDevice(serial, Echo::Shown, forward);
    if (!command.goesOn())
        co_return command.stopped<Outcome>();
    if (command.value.succeeded())
        co_return goOn(Outcome::Holds);
    if (rebindRefused(command.value) && isTcpPort(port)) {
        // Another client forwarded the port since the list was read.
        const ForwardListRead now = co_await reader_.read(server, waits_.forwardList);
        if (now.outcome == ForwardListRead::Outcome::Cancelled)
            co_return Step<Outcome>{FlowStep::Cancelled, Outcome::Failed};
        const QString owner = now.serialOn(static_cast<uint16_t>(port));
        if (owner == serial)
            co_return goOn(Outcome::Holds); // it leads where it was meant to
        if (!owner.isEmpty()) {
            sayTaken(port, owner);
            co_return goOn(Outcome::Refused);
        }
    }
    const QString reason = standardErrorForConsole(command.value);
    console_.say(reason.isEmpty()
                     ? u"Error: adb could not forward %1 (exit status %2).\r\n"_s.arg(socketName)
                           .arg(command.value.exitCode)
                     : reason,
                 MessageKind::Failure);
    co_return goOn(Outcome::Failed);
}

// adb accepts connections on a forwarded port whatever the phone does; only
// a greeting read through it shows that the phone's server is there.
QCoro::Task<Step<bool>> UsbForward::checkGreeting(int32_t port) {
    const auto localPort = static_cast<uint16_t>(port);
    const RfbGreetingResult result =
        co_await greetings_.waitForGreeting(localPort, waits_.forwardGreeting);
    if (result.cancelled)
        co_return Step<bool>{FlowStep::Cancelled, false};
    if (!result.greeted)
        console_.say(
            u"Nothing answers on localhost:%1 yet: start the server on the phone.\r\n"_s.arg(port),
            MessageKind::Failure);
    co_return goOn(true);
}

// `adb -s SERIAL forward --remove` frees the port whichever phone it leads
// to, so only the ports the list shows leading to this phone are named.
QCoro::Task<Step<bool>> UsbForward::adbRemoveForwards(QString serial,
                                                      std::optional<AdbServerAddress> server) {
    const ForwardListRead before = co_await reader_.read(server, waits_.forwardList);
    if (before.outcome == ForwardListRead::Outcome::Cancelled)
        co_return Step<bool>{FlowStep::Cancelled, false};
    if (!before.read() && before.outcome != ForwardListRead::Outcome::NoServer) {
        console_.say(unreadableListText(before), MessageKind::Failure);
        co_return goOn(false);
    }
    const QList<uint16_t> ports = before.portsOf(serial);
    if (ports.isEmpty()) {
        console_.say(u"No forwards lead to device %1.\r\n"_s.arg(visibleText(serial)));
        co_return goOn(true);
    }
    QList<uint16_t> removed;
    for (const uint16_t port : ports) {
        const QStringList remove{u"forward"_s, u"--remove"_s, tcpSocketName(port)};
        // A phone that went offline or away ends the flow with adb's words:
        // its forwards stay as they are.
        const Step<AdbRun> command = co_await commands_.runOnDevice(serial, Echo::Quiet, remove);
        if (!command.goesOn())
            co_return command.stopped<bool>();
        if (command.value.succeeded()) {
            removed.append(port);
            continue;
        }
        const QString reason = standardErrorForConsole(command.value);
        console_.say(reason.isEmpty()
                         ? u"Error: adb could not remove the forward of localhost:%1 (exit "
                           "status %2).\r\n"_s.arg(port)
                               .arg(command.value.exitCode)
                         : reason,
                     MessageKind::Failure);
    }
    const ForwardListRead after = co_await reader_.read(server, waits_.forwardList);
    if (after.outcome == ForwardListRead::Outcome::Cancelled)
        co_return Step<bool>{FlowStep::Cancelled, false};
    // The list read again is the verdict; without it, adb's exit statuses are.
    const QList<uint16_t> remaining = after.read() ? after.portsOf(serial) : QList<uint16_t>{};
    QList<uint16_t> freed;
    for (const uint16_t port : ports) {
        if (after.read() ? !remaining.contains(port) : removed.contains(port))
            freed.append(port);
    }
    if (!freed.isEmpty())
        console_.say(u"Freed %1.\r\n"_s.arg(localPortsText(freed)));
    if (!remaining.isEmpty())
        console_.say(u"Still leading to device %1: %2.\r\n"_s.arg(visibleText(serial),
                                                                  localPortsText(remaining)),
                     MessageKind::Failure);
    co_return goOn(after.read() ? remaining.isEmpty() : removed.size() == ports.size());
}

} // namespace ostrel
