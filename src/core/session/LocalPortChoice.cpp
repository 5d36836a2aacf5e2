#include "core/session/LocalPortChoice.h"

#include "core/device/AdbFailure.h"
#include "core/device/PortText.h"
#include "core/session/AdbCommands.h"
#include "core/session/SessionConsole.h"

#include <QCoro/QCoroTask>
#include <QHostAddress>
#include <QTcpServer>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

namespace {

QString tcp(uint16_t port) {
    return u"tcp:%1"_s.arg(port);
}

enum class Use { LeadsHere, Free, Taken };

// A port that leads to this phone, but to another of its ports, is someone
// else's forward as much as one to another phone is.
Use useOf(const ForwardListRead& known, uint16_t local, uint16_t remote, const QString& serial,
          const LocalPortProbe& probe) {
    for (const ListedForward& forward : known.forwards) {
        if (forward.localPort != local)
            continue;
        return forward.serial == serial && forward.remote == tcp(remote) ? Use::LeadsHere
                                                                         : Use::Taken;
    }
    return probe(local) ? Use::Free : Use::Taken;
}

// adb's answers when the local port has a listener already: another client's
// forward that came after the list was read, or another program.
bool portBusy(const AdbRun& run) {
    return run.standardError.contains("cannot rebind existing socket") ||
           run.standardError.contains("cannot bind listener");
}

QString portsText(uint16_t vnc, std::optional<uint16_t> web, const QString& prefix) {
    return web ? u"%1%2 and %1%3"_s.arg(prefix).arg(vnc).arg(*web) : u"%1%2"_s.arg(prefix).arg(vnc);
}

} // namespace

bool localPortIsFree(uint16_t port) {
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost, port);
}

std::optional<uint16_t> phoneWebPort(int32_t vncPort) {
    const int32_t web = vncPort - 100;
    if (web < LowestPort || web > HighestPort)
        return std::nullopt;
    return static_cast<uint16_t>(web);
}

LocalPortChoice::LocalPortChoice(AdbCommands& commands, SessionConsole& console, Waits waits,
                                 QObject* parent)
    : QObject(parent), commands_(commands), console_(console), waits_(waits) {}

QCoro::Task<Step<LocalPair>> LocalPortChoice::forwardPair(QString serial, int32_t phoneVncPort,
                                                          std::optional<AdbServerAddress> server) {
    // An unreadable list takes nothing over either: every port is then asked
    // for with --no-rebind, which adb refuses for a port in use.
    const ForwardListRead known = co_await reader_.read(server, waits_.forwardList);
    if (known.outcome == ForwardListRead::Outcome::Cancelled)
        co_return Step<LocalPair>{FlowStep::Cancelled, {}};
    LocalPair pair;
    pair.phoneVnc = static_cast<uint16_t>(phoneVncPort);
    pair.phoneWeb = phoneWebPort(phoneVncPort);
    int tried = 0;
    for (; tried < LocalPairLimit; ++tried) {
        const int32_t vnc = phoneVncPort + tried;
        const std::optional<int32_t> web =
            pair.phoneWeb ? std::optional<int32_t>(*pair.phoneWeb + tried) : std::nullopt;
        if (vnc > HighestPort || (web && *web > HighestPort))
            break;
        pair.vnc = static_cast<uint16_t>(vnc);
        pair.web = web ? std::optional<uint16_t>(static_cast<uint16_t>(*web)) : std::nullopt;
        const Use vncUse = useOf(known, pair.vnc, pair.phoneVnc, serial, probe_);
        const Use webUse =
            pair.web ? useOf(known, *pair.web, *pair.phoneWeb, serial, probe_) : Use::LeadsHere;
        if (vncUse == Use::Taken || webUse == Use::Taken)
            continue;
        bool vncMade = false;
        if (vncUse == Use::Free) {
            const Step<Made> made = co_await forwardNew(serial, pair.vnc, pair.phoneVnc);
            if (!made.goesOn())
                co_return made.stopped<LocalPair>();
            if (made.value == Made::Failed)
                co_return Step<LocalPair>{FlowStep::Ends, {}};
            if (made.value == Made::Busy)
                continue;
            vncMade = true;
        }
        if (webUse == Use::Free) {
            const Step<Made> made = co_await forwardNew(serial, *pair.web, *pair.phoneWeb);
            if (!made.goesOn())
                co_return made.stopped<LocalPair>();
            if (made.value != Made::Holds && vncMade) {
                // Half a pair would only hold a port that the next try does not use.
                co_await removeForward(serial, pair.vnc);
            }
            if (made.value == Made::Failed)
                co_return Step<LocalPair>{FlowStep::Ends, {}};
            if (made.value == Made::Busy)
                continue;
        }
        if (pair.vnc != pair.phoneVnc)
            console_.say(u"The phone's ports %1 are reached through %2: the ports below lead "
                         "elsewhere.\r\n"_s.arg(portsText(pair.phoneVnc, pair.phoneWeb, {}),
                                                portsText(pair.vnc, pair.web, u"localhost:"_s)));
        else
            console_.say(u"The phone is reached through %1.\r\n"_s.arg(
                portsText(pair.vnc, pair.web, u"localhost:"_s)));
        co_return goOn(pair);
    }
    const int32_t last = phoneVncPort + std::max(tried - 1, 0);
    console_.say(u"Error: none of localhost:%1 to localhost:%2 can lead to the phone: each is "
                 "in use here or leads elsewhere. Free some with USB Disconnect, or close what "
                 "holds them.\r\n"_s.arg(phoneVncPort)
                     .arg(last),
                 MessageKind::Failure);
    co_return Step<LocalPair>{FlowStep::Ends, {}};
}

// The phone's side is named as the phone has it; only the local side moves.
QCoro::Task<Step<LocalPortChoice::Made>> LocalPortChoice::forwardNew(QString serial, uint16_t local,
                                                                     uint16_t remote) {
    const QStringList forward{u"forward"_s, u"--no-rebind"_s, tcp(local), tcp(remote)};
    const Step<AdbRun> command = co_await commands_.runOnDevice(serial, Echo::Quiet, forward);
    if (!command.goesOn())
        co_return command.stopped<Made>();
    if (command.value.succeeded())
        co_return goOn(Made::Holds);
    if (portBusy(command.value))
        co_return goOn(Made::Busy);
    const QString reason = standardErrorForConsole(command.value);
    console_.say(reason.isEmpty()
                     ? u"Error: adb could not forward %1 (exit status %2).\r\n"_s.arg(tcp(local))
                           .arg(command.value.exitCode)
                     : reason,
                 MessageKind::Failure);
    co_return goOn(Made::Failed);
}

QCoro::Task<void> LocalPortChoice::removeForward(QString serial, uint16_t local) {
    const QStringList remove{u"forward"_s, u"--remove"_s, tcp(local)};
    co_await commands_.runOnDevice(serial, Echo::Quiet, remove);
}

} // namespace ostrel
