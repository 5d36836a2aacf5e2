// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/session/PortForwarder.h"

#include "core/device/AdbFailure.h"
#include "core/session/SessionConsole.h"
#include "core/text/VisibleText.h"

#include <QCoro/QCoroTask>
#include <QHostAddress>
#include <QTcpServer>
#include <QUrl>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

namespace {

// Where a local port leads by the list: nowhere, to `remote` of this phone,
// to another of this phone's ports, or to another phone.
enum class Holder { None, ThisPort, ThisPhone, OtherPhone };

Holder holderOf(const ForwardListRead& known, TcpPort local, const QString& serial,
                TcpPort remote) {
    for (const ListedForward& forward : known.forwards) {
        if (forward.localPort != local)
            continue;
        if (forward.serial != serial)
            return Holder::OtherPhone;
        return forward.remote == adbSocketName(remote) ? Holder::ThisPort : Holder::ThisPhone;
    }
    return Holder::None;
}

// What View may do with a local port. A port that leads to this phone, but
// to another of its ports, is someone else's forward as much as one to
// another phone is.
enum class Use { LeadsHere, Free, Taken };

Use useOf(const ForwardListRead& known, TcpPort local, const QString& serial, TcpPort remote,
          const LocalPortProbe& localPortFree) {
    switch (holderOf(known, local, serial, remote)) {
    case Holder::ThisPort:
        return Use::LeadsHere;
    case Holder::None:
        return localPortFree(local) ? Use::Free : Use::Taken;
    case Holder::ThisPhone:
    case Holder::OtherPhone:
        break;
    }
    return Use::Taken;
}

// adb's refusals of a forward with --no-rebind: a forward holds the port
// (another client's, made since the list was read), or another program
// listens there.
enum class Refusal { None, Forwarded, Listening };

Refusal refusalOf(const AdbRun& run) {
    if (run.standardError.contains("cannot rebind existing socket"))
        return Refusal::Forwarded;
    if (run.standardError.contains("cannot bind listener"))
        return Refusal::Listening;
    return Refusal::None;
}

QString unreadableListText(const ForwardListRead& read) {
    if (read.outcome == ForwardListRead::Outcome::NoAddress)
        return u"Error: adb's forwards cannot be read: the environment names no adb server "
               "this program can reach.\r\n"_s;
    return u"Error: adb's forwards could not be read: %1.\r\n"_s.arg(visibleText(read.message));
}

QString portsText(TcpPort vnc, std::optional<TcpPort> web, const QString& prefix) {
    return web ? u"%1%2 and %1%3"_s.arg(prefix).arg(vnc.number()).arg(web->number())
               : u"%1%2"_s.arg(prefix).arg(vnc.number());
}

// The pair one port above; none when either side leaves the range.
std::optional<LocalPair> nextPair(const LocalPair& pair) {
    const std::optional<TcpPort> vnc = pair.vnc.next();
    const std::optional<TcpPort> web = pair.web ? pair.web->next() : std::nullopt;
    if (!vnc || (pair.web && !web))
        return std::nullopt;
    return LocalPair{*vnc, web, pair.phoneVnc, pair.phoneWeb};
}

} // namespace

bool localPortIsFree(TcpPort port) {
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost, port.number());
}

QString localPortsText(const QList<TcpPort>& ports) {
    QStringList names;
    for (const TcpPort port : ports)
        names.append(u"localhost:%1"_s.arg(port.number()));
    if (names.size() < 2)
        return names.value(0);
    const QString last = names.takeLast();
    return names.join(u", "_s) + u" and "_s + last;
}

PortForwarder::PortForwarder(AdbCommands& commands, SessionConsole& console, Waits waits,
                             LocalPortProbe localPortFree, QObject* parent)
    : QObject(parent), commands_(commands), console_(console), waits_(waits),
      localPortFree_(std::move(localPortFree)) {}

void PortForwarder::cancel() {
    reader_.cancel();
    greetings_.cancel();
}

QCoro::Task<ForwardListRead> PortForwarder::readForwards(std::optional<AdbServerAddress> server) {
    const ForwardListRead read = co_await reader_.read(server, waits_.forwardList);
    co_return read;
}

// A list that cannot be read takes nothing over either: every port is then
// asked for with --no-rebind, which adb refuses for a port in use.
QCoro::Task<Step<bool>> PortForwarder::adbForward(QString serial, TcpPort port,
                                                  std::optional<AdbServerAddress> server) {
    const ForwardListRead known = co_await reader_.read(server, waits_.forwardList);
    if (known.outcome == ForwardListRead::Outcome::Cancelled)
        co_return Step<bool>{FlowStep::Cancelled, false};
    const std::optional<TcpPort> webPort = port.webPort();
    // Refused before any command, so that neither port moves to this phone.
    for (const std::optional<TcpPort> wanted : {std::optional<TcpPort>(port), webPort}) {
        if (wanted && holderOf(known, *wanted, serial, *wanted) == Holder::OtherPhone) {
            sayTaken(*wanted, known.serialOn(*wanted));
            co_return goOn(false);
        }
    }

    // Only a port that already leads to this phone is forwarded again as it
    // is; any other must be free, or adb refuses it.
    const bool vncLeadsHere = holderOf(known, port, serial, port) != Holder::None;
    const Step<Forwarded> vnc = co_await forwardOwnPort(serial, port, vncLeadsHere, server);
    if (!vnc.goesOn())
        co_return vnc.stopped<bool>();
    if (vnc.value == Forwarded::Taken)
        co_return goOn(false);
    const bool vncHolds = vnc.value == Forwarded::Holds;
    if (vncHolds)
        sayAddress(u"You can connect to the following address with VNC clients while the "
                   "android device is connected with USB:\r\n"_s,
                   u"vnc://localhost:%1"_s.arg(port.number()));
    bool webHolds = true;
    if (!webPort) {
        // Not a failure: no such web port can exist, on the phone either.
        console_.say(
            u"No web port was forwarded: port %1 minus 100 is below %2.\r\n"_s.arg(port.number())
                .arg(TcpPort::Lowest));
    } else {
        const bool webLeadsHere = holderOf(known, *webPort, serial, *webPort) != Holder::None;
        const Step<Forwarded> web = co_await forwardOwnPort(serial, *webPort, webLeadsHere, server);
        if (!web.goesOn())
            co_return web.stopped<bool>();
        webHolds = web.value == Forwarded::Holds;
        if (webHolds)
            sayAddress(u"You can browse to the following address while the android device is "
                       "connected with USB:\r\n"_s,
                       u"http://localhost:%1"_s.arg(webPort->number()));
    }
    if (vncHolds) {
        const Step<bool> greeted = co_await checkGreeting(port);
        if (!greeted.goesOn())
            co_return greeted;
    }
    co_return goOn(vncHolds && webHolds);
}

void PortForwarder::sayAddress(const QString& sentence, const QString& address) {
    console_.say(sentence);
    console_.say(u"    "_s);
    console_.sayLink(address + u"\r\n\r\n"_s, QUrl(address), MessageKind::Progress);
}

void PortForwarder::sayTaken(TcpPort port, const QString& other) {
    console_.say(u"Error: localhost:%1 already leads to device %2; choose another port.\r\n"_s
                     .arg(port.number())
                     .arg(visibleText(other)),
                 MessageKind::Failure);
}

// adb's exit status is the one reliable verdict on a forward: a working one
// prints the port, a refused one prints nothing and explains on standard error.
QCoro::Task<Step<PortForwarder::Forwarded>>
PortForwarder::forwardOwnPort(QString serial, TcpPort port, bool renew,
                              std::optional<AdbServerAddress> server) {
    const Step<AdbRun> command = co_await runForward(serial, port, port, renew, Echo::Shown);
    if (!command.goesOn())
        co_return command.stopped<Forwarded>();
    if (command.value.succeeded())
        co_return goOn(Forwarded::Holds);
    if (refusalOf(command.value) == Refusal::Forwarded) {
        // Another client forwarded the port since the list was read.
        const ForwardListRead now = co_await reader_.read(server, waits_.forwardList);
        if (now.outcome == ForwardListRead::Outcome::Cancelled)
            co_return Step<Forwarded>{FlowStep::Cancelled, Forwarded::Failed};
        const QString owner = now.serialOn(port);
        if (owner == serial)
            co_return goOn(Forwarded::Holds); // it leads where it was meant to
        if (!owner.isEmpty()) {
            sayTaken(port, owner);
            co_return goOn(Forwarded::Taken);
        }
    }
    sayForwardFailed(command.value, port);
    co_return goOn(Forwarded::Failed);
}

QCoro::Task<Step<bool>> PortForwarder::greets(TcpPort local, std::chrono::milliseconds limit) {
    const RfbGreetingResult result = co_await greetings_.waitForGreeting(local, limit);
    if (result.cancelled)
        co_return Step<bool>{FlowStep::Cancelled, false};
    co_return goOn(result.greeted);
}

// A forward that holds with nothing behind it yet is still USB Connect's
// success: the user is told to start the server.
QCoro::Task<Step<bool>> PortForwarder::checkGreeting(TcpPort port) {
    const Step<bool> greeted = co_await greets(port, waits_.forwardGreeting);
    if (!greeted.goesOn())
        co_return greeted;
    if (!greeted.value)
        console_.say(
            u"Nothing answers on localhost:%1 yet: start the server on the phone.\r\n"_s.arg(
                port.number()),
            MessageKind::Failure);
    co_return goOn(true);
}

// `adb -s SERIAL forward --remove` frees the port whichever phone it leads
// to, so only the ports the list shows leading to this phone are named.
QCoro::Task<Step<bool>> PortForwarder::adbRemoveForwards(QString serial,
                                                         std::optional<AdbServerAddress> server) {
    const ForwardListRead before = co_await reader_.read(server, waits_.forwardList);
    if (before.outcome == ForwardListRead::Outcome::Cancelled)
        co_return Step<bool>{FlowStep::Cancelled, false};
    if (!before.read() && before.outcome != ForwardListRead::Outcome::NoServer) {
        console_.say(unreadableListText(before), MessageKind::Failure);
        co_return goOn(false);
    }
    const QList<TcpPort> ports = before.portsOf(serial);
    if (ports.isEmpty()) {
        console_.say(u"No forwards lead to device %1.\r\n"_s.arg(visibleText(serial)));
        co_return goOn(true);
    }
    QList<TcpPort> removed;
    for (const TcpPort port : ports) {
        // A phone that went offline or away ends the flow with adb's words:
        // its forwards stay as they are.
        const Step<AdbRun> command = co_await removeForward(serial, port);
        if (!command.goesOn())
            co_return command.stopped<bool>();
        if (command.value.succeeded()) {
            removed.append(port);
            continue;
        }
        const QString reason = standardErrorForConsole(command.value);
        console_.say(reason.isEmpty()
                         ? u"Error: adb could not remove the forward of localhost:%1 (exit "
                           "status %2).\r\n"_s.arg(port.number())
                               .arg(command.value.exitCode)
                         : reason,
                     MessageKind::Failure);
    }
    const ForwardListRead after = co_await reader_.read(server, waits_.forwardList);
    if (after.outcome == ForwardListRead::Outcome::Cancelled)
        co_return Step<bool>{FlowStep::Cancelled, false};
    // The list read again is the verdict; without it, adb's exit statuses are.
    const QList<TcpPort> remaining = after.read() ? after.portsOf(serial) : QList<TcpPort>{};
    QList<TcpPort> freed;
    for (const TcpPort port : ports) {
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

// An unreadable list takes nothing over either: every port is then asked for
// with --no-rebind, which adb refuses for a port in use.
QCoro::Task<Step<std::optional<LocalPair>>>
PortForwarder::forwardPair(QString serial, TcpPort phoneVnc,
                           std::optional<AdbServerAddress> server) {
    using PairStep = Step<std::optional<LocalPair>>;
    const ForwardListRead known = co_await reader_.read(server, waits_.forwardList);
    if (known.outcome == ForwardListRead::Outcome::Cancelled)
        co_return PairStep{FlowStep::Cancelled, std::nullopt};
    const std::optional<TcpPort> phoneWeb = phoneVnc.webPort();
    std::optional<LocalPair> pair = LocalPair{phoneVnc, phoneWeb, phoneVnc, phoneWeb};
    TcpPort last = phoneVnc;
    for (int tried = 0; tried < LocalPairLimit && pair; ++tried, pair = nextPair(*pair)) {
        last = pair->vnc;
        const Step<Forwarded> made = co_await forwardPairAt(serial, *pair, known);
        if (!made.goesOn())
            co_return made.stopped<std::optional<LocalPair>>();
        if (made.value == Forwarded::Failed)
            co_return PairStep{FlowStep::Ends, std::nullopt};
        if (made.value != Forwarded::Holds)
            continue;
        sayReached(*pair);
        co_return goOn(pair);
    }
    console_.say(u"Error: none of localhost:%1 to localhost:%2 can lead to the phone: each is "
                 "in use here or leads elsewhere. Free some with USB Disconnect, or close what "
                 "holds them.\r\n"_s.arg(phoneVnc.number())
                     .arg(last.number()),
                 MessageKind::Failure);
    co_return PairStep{FlowStep::Ends, std::nullopt};
}

QCoro::Task<Step<PortForwarder::Forwarded>>
PortForwarder::forwardPairAt(QString serial, LocalPair pair, ForwardListRead known) {
    const Use vncUse = useOf(known, pair.vnc, serial, pair.phoneVnc, localPortFree_);
    const Use webUse =
        pair.web ? useOf(known, *pair.web, serial, *pair.phoneWeb, localPortFree_) : Use::LeadsHere;
    if (vncUse == Use::Taken || webUse == Use::Taken)
        co_return goOn(Forwarded::Taken);
    bool vncMade = false;
    if (vncUse == Use::Free) {
        const Step<Forwarded> made = co_await forwardNew(serial, pair.vnc, pair.phoneVnc);
        if (!made.goesOn() || made.value != Forwarded::Holds)
            co_return made;
        vncMade = true;
    }
    if (webUse == Use::Free) {
        const Step<Forwarded> made = co_await forwardNew(serial, *pair.web, *pair.phoneWeb);
        if (made.goesOn() && made.value != Forwarded::Holds && vncMade) {
            // Half a pair would only hold a port that the next try does not use.
            const Step<AdbRun> removed = co_await removeForward(serial, pair.vnc);
            Q_UNUSED(removed);
        }
        co_return made;
    }
    co_return goOn(Forwarded::Holds);
}

// The phone's side is named as the phone has it; only the local side moves.
QCoro::Task<Step<PortForwarder::Forwarded>> PortForwarder::forwardNew(QString serial, TcpPort local,
                                                                      TcpPort remote) {
    const Step<AdbRun> command = co_await runForward(serial, local, remote, false, Echo::Quiet);
    if (!command.goesOn())
        co_return command.stopped<Forwarded>();
    if (command.value.succeeded())
        co_return goOn(Forwarded::Holds);
    if (refusalOf(command.value) != Refusal::None)
        co_return goOn(Forwarded::Busy);
    sayForwardFailed(command.value, local);
    co_return goOn(Forwarded::Failed);
}

QCoro::Task<Step<AdbRun>> PortForwarder::runForward(QString serial, TcpPort local, TcpPort remote,
                                                    bool rebind, Echo echo) {
    QStringList forward{u"forward"_s};
    if (!rebind)
        forward.append(u"--no-rebind"_s);
    forward << adbSocketName(local) << adbSocketName(remote);
    co_return co_await commands_.runOnDevice(serial, echo, forward);
}

QCoro::Task<Step<AdbRun>> PortForwarder::removeForward(QString serial, TcpPort local) {
    const QStringList remove{u"forward"_s, u"--remove"_s, adbSocketName(local)};
    co_return co_await commands_.runOnDevice(serial, Echo::Quiet, remove);
}

void PortForwarder::sayForwardFailed(const AdbRun& run, TcpPort local) {
    const QString reason = standardErrorForConsole(run);
    console_.say(reason.isEmpty() ? u"Error: adb could not forward %1 (exit status %2).\r\n"_s
                                        .arg(adbSocketName(local))
                                        .arg(run.exitCode)
                                  : reason,
                 MessageKind::Failure);
}

void PortForwarder::sayReached(const LocalPair& pair) {
    if (pair.vnc != pair.phoneVnc)
        console_.say(u"The phone's ports %1 are reached through %2: the ports below lead "
                     "elsewhere.\r\n"_s.arg(portsText(pair.phoneVnc, pair.phoneWeb, {}),
                                            portsText(pair.vnc, pair.web, u"localhost:"_s)));
    else
        console_.say(u"The phone is reached through %1.\r\n"_s.arg(
            portsText(pair.vnc, pair.web, u"localhost:"_s)));
}

} // namespace ostrel
