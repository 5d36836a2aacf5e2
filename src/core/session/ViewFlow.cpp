#include "core/session/ViewFlow.h"

#include "core/session/ServerLifecycle.h"
#include "core/session/SessionConsole.h"
#include "core/settings/PhoneSettings.h"

#include <QCoro/QCoroTask>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

ViewFlow::ViewFlow(ServerLifecycle& lifecycle, AdbCommands& commands, SessionConsole& console,
                   Waits waits, QObject* parent)
    : QObject(parent), lifecycle_(lifecycle), console_(console), waits_(waits),
      pairs_(commands, console, waits) {}

void ViewFlow::cancel() {
    pairs_.cancel();
    greetings_.cancel();
}

QCoro::Task<Step<LocalPair>> ViewFlow::reach(QString serial, std::optional<int32_t> port,
                                             std::optional<AdbServerAddress> server) {
    if (port) {
        const QString failure = rememberVncPort(serial, *port);
        if (!failure.isEmpty())
            console_.say(u"The port could not be remembered: %1.\r\n"_s.arg(failure),
                         MessageKind::Failure);
    }
    const int32_t phonePort = port.value_or(rememberedVncPort(serial).value_or(DefaultVncPort));
    const bool running = co_await ensureServerRuns(serial);
    if (!running)
        co_return Step<LocalPair>{FlowStep::Ends, {}};
    const Step<LocalPair> pair = co_await pairs_.forwardPair(serial, phonePort, server);
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
                         .arg(phonePort),
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
