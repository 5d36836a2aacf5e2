// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/session/ViewFlow.h"

#include "core/device/PortText.h"
#include "core/session/FlowControl.h"
#include "core/session/ServerLifecycle.h"
#include "core/session/SessionConsole.h"
#include "core/settings/PhoneSettings.h"
#include "core/settings/SessionSettings.h"

#include <QCoro/QCoroTask>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

ViewFlow::ViewFlow(ServerLifecycle& lifecycle, PortForwarder& forwarder, SessionConsole& console,
                   SessionSettings& settings, const FlowControl& flow, Waits waits, QObject* parent)
    : QObject(parent), lifecycle_(lifecycle), forwarder_(forwarder), console_(console),
      settings_(settings), flow_(flow), waits_(waits) {}

void ViewFlow::cancel() {
    forwarder_.cancel();
}

// The port given wins and is remembered; a phone seen before has its own;
// a phone never seen is asked about, when someone can be asked.
Step<std::optional<TcpPort>> ViewFlow::phonePort(const QString& serial, std::optional<TcpPort> port,
                                                 const VncPortQuestion& ask) {
    using PortStep = Step<std::optional<TcpPort>>;
    if (!port) {
        if (const std::optional<TcpPort> remembered = settings_.rememberedVncPort(serial))
            return goOn(remembered);
        if (!ask)
            return goOn(std::optional<TcpPort>(DefaultVncPort));
        const QString typed = ask(serial);
        if (flow_.cancelled())
            return PortStep{FlowStep::Cancelled, std::nullopt};
        const PortEntry entry = readPortEntry(typed);
        if (entry.kind == PortEntry::Kind::Blank)
            return PortStep{FlowStep::Ends, std::nullopt};
        if (entry.kind == PortEntry::Kind::NotAPort) {
            console_.say(notAPortLine(typed), MessageKind::Failure);
            return PortStep{FlowStep::Ends, std::nullopt};
        }
        port = entry.port;
    }
    const QString failure = settings_.rememberVncPort(serial, *port);
    if (!failure.isEmpty())
        console_.say(u"The port could not be remembered: %1.\r\n"_s.arg(failure),
                     MessageKind::Failure);
    return goOn(port);
}

QCoro::Task<Step<std::optional<LocalPair>>> ViewFlow::reach(QString serial,
                                                            std::optional<TcpPort> port,
                                                            std::optional<AdbServerAddress> server,
                                                            VncPortQuestion ask) {
    using PairStep = Step<std::optional<LocalPair>>;
    const Step<std::optional<TcpPort>> given = phonePort(serial, port, ask);
    if (!given.goesOn())
        co_return given.stopped<std::optional<LocalPair>>();
    const TcpPort vncPort = *given.value;
    const bool running = co_await ensureServerRuns(serial);
    if (!running)
        co_return PairStep{FlowStep::Ends, std::nullopt};
    const PairStep pair = co_await forwarder_.forwardPair(serial, vncPort, server);
    if (!pair.goesOn())
        co_return pair;
    const Step<bool> greeted = co_await forwarder_.greets(pair.value->vnc, waits_.viewGreeting);
    if (!greeted.goesOn())
        co_return greeted.stopped<std::optional<LocalPair>>();
    if (!greeted.value) {
        console_.say(u"Error: nothing answered on localhost:%1 within %2 seconds. Check that "
                     "Ostrel VNC Server runs on the phone and shows port %3; if it shows "
                     "another, give that one with USB Connect.\r\n"_s.arg(pair.value->vnc.number())
                         .arg(waits_.viewGreeting.count() / 1000.0)
                         .arg(vncPort.number()),
                     MessageKind::Failure);
        co_return PairStep{FlowStep::Ends, std::nullopt};
    }
    co_return pair;
}

// A server that runs already is left as it is; the start flow says the rest.
QCoro::Task<bool> ViewFlow::ensureServerRuns(QString serial) {
    const Step<ServerProcess> process = co_await lifecycle_.probeServer(serial);
    if (!process.goesOn())
        co_return false;
    if (process.value.running)
        co_return true;
    console_.say(u"Starting Ostrel VNC Server on device...\r\n"_s);
    const bool started = co_await lifecycle_.adbStartOstrelVNCServer(serial);
    co_return started;
}

} // namespace ostrel
