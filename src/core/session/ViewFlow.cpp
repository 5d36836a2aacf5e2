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

ViewFlow::ViewFlow(ServerLifecycle& lifecycle, AdbCommands& commands, SessionConsole& console,
                   SessionSettings& settings, const FlowControl& flow, Waits waits, QObject* parent)
    : QObject(parent), lifecycle_(lifecycle), console_(console), settings_(settings), flow_(flow),
      waits_(waits), pairs_(commands, console, waits) {}

void ViewFlow::cancel() {
    pairs_.cancel();
    greetings_.cancel();
}

// The port given wins and is remembered; a phone seen before has its own;
// a phone never seen is asked about, when someone can be asked.
Step<int32_t> ViewFlow::phonePort(const QString& serial, std::optional<int32_t> port,
                                  const VncPortQuestion& ask) {
    if (!port) {
        if (const std::optional<int32_t> remembered = settings_.rememberedVncPort(serial))
            return goOn(*remembered);
        if (!ask)
            return goOn(DefaultVncPort);
        const QString typed = ask(serial);
        if (flow_.cancelled())
            return Step<int32_t>{FlowStep::Cancelled, 0};
        const PortEntry entry = readPortEntry(typed);
        if (entry.kind == PortEntry::Kind::Blank)
            return Step<int32_t>{FlowStep::Ends, 0};
        if (entry.kind == PortEntry::Kind::NotAPort) {
            console_.say(notAPortLine(typed), MessageKind::Failure);
            return Step<int32_t>{FlowStep::Ends, 0};
        }
        port = entry.port;
    }
    const QString failure = settings_.rememberVncPort(serial, *port);
    if (!failure.isEmpty())
        console_.say(u"The port could not be remembered: %1.\r\n"_s.arg(failure),
                     MessageKind::Failure);
    return goOn(*port);
}

QCoro::Task<Step<LocalPair>> ViewFlow::reach(QString serial, std::optional<int32_t> port,
                                             std::optional<AdbServerAddress> server,
                                             VncPortQuestion ask) {
    const Step<int32_t> given = phonePort(serial, port, ask);
    if (!given.goesOn())
        co_return given.stopped<LocalPair>();
    const int32_t vncPort = given.value;
    const bool running = co_await ensureServerRuns(serial);
    if (!running)
        co_return Step<LocalPair>{FlowStep::Ends, {}};
    const Step<LocalPair> pair = co_await pairs_.forwardPair(serial, vncPort, server);
    if (!pair.goesOn())
        co_return pair;
    // adb accepts connections on a forwarded port whatever the phone does;
    // only a greeting read through it shows that the phone's server is there.
    const RfbGreetingResult greeting =
        co_await greetings_.waitForGreeting(pair.value.vnc, waits_.viewGreeting);
    if (greeting.cancelled)
        co_return Step<LocalPair>{FlowStep::Cancelled, {}};
    if (!greeting.greeted) {
        console_.say(u"Error: nothing answered on localhost:%1 within %2 seconds. Check that "
                     "Ostrel VNC Server runs on the phone and shows port %3; if it shows "
                     "another, give that one with USB Connect.\r\n"_s.arg(pair.value.vnc)
                         .arg(waits_.viewGreeting.count() / 1000.0)
                         .arg(vncPort),
                     MessageKind::Failure);
        co_return Step<LocalPair>{FlowStep::Ends, {}};
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
