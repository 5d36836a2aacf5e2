// The command line's verbs: the window's own flows, aimed at the phone a
// script names, with a verdict at the end.
#include "cli/Verbs.h"

#include "cli/CommandLineOutput.h"
#include "core/session/BridgeSession.h"
#include "core/text/VisibleText.h"

#include <QCoro/QCoroTask>

namespace ostrel::cli {

using namespace Qt::Literals::StringLiterals;

namespace {

int verdict(bool reached) {
    return reached ? StateReached : StateNotReached;
}

QCoro::Task<int> listDevices(BridgeSession& session, CommandLineOutput& output,
                             const QString& serial) {
    // Standard output carries the serials alone, for scripts to read.
    output.setProgressShown(false);
    const Step<QList<ListedDevice>> listed = co_await session.listDevices();
    if (!listed.goesOn())
        co_return StateNotReached;
    QStringList serials;
    for (const ListedDevice& device : listed.value) {
        if (device.usable() && (serial.isEmpty() || device.serial == serial))
            serials.append(device.serial);
    }
    if (!serial.isEmpty() && serials.isEmpty()) {
        output.failure(
            u"Error: no device with the serial %1 is attached.\n"_s.arg(visibleText(serial)));
        co_return StateNotReached;
    }
    for (const QString& listedSerial : std::as_const(serials))
        output.result(visibleText(listedSerial) + u"\n"_s);
    co_return verdict(!serials.isEmpty());
}

// Standard output carries the addresses alone, for scripts to hand to a
// viewer; what went wrong goes to standard error.
QCoro::Task<int> connectForView(BridgeSession& session, CommandLineOutput& output, int port) {
    output.setProgressShown(false);
    const std::optional<int32_t> given = port != 0 ? std::optional<int32_t>(port) : std::nullopt;
    const std::optional<LocalPair> pair = co_await session.connectForView(given);
    if (!pair)
        co_return StateNotReached;
    output.result(u"vnc://localhost:%1\n"_s.arg(pair->vnc));
    if (pair->web)
        output.result(u"http://localhost:%1\n"_s.arg(*pair->web));
    co_return StateReached;
}

QCoro::Task<int> runFlow(BridgeSession& session, CommandLineOutput& output,
                         const Invocation& invocation) {
    switch (invocation.verb) {
    case Invocation::Verb::Start: {
        const bool running = co_await session.startServer();
        co_return verdict(running);
    }
    case Invocation::Verb::Stop: {
        const bool stopped = co_await session.stopServer();
        co_return verdict(stopped);
    }
    case Invocation::Verb::Forward: {
        const bool forwarded = co_await session.usbConnect(invocation.port);
        co_return verdict(forwarded);
    }
    case Invocation::Verb::Disconnect: {
        const bool freed = co_await session.usbDisconnect();
        co_return verdict(freed);
    }
    case Invocation::Verb::Connect: {
        const int status = co_await connectForView(session, output, invocation.port);
        co_return status;
    }
    case Invocation::Verb::Devices:
    case Invocation::Verb::Watch:
        break;
    }
    co_return StateNotReached;
}

} // namespace

QCoro::Task<int> runVerb(BridgeSession& session, CommandLineOutput& output, Invocation invocation) {
    if (invocation.verb == Invocation::Verb::Devices)
        co_return co_await listDevices(session, output, invocation.serial);
    // A script acts on the phone it names, or on the only one attached.
    session.discovery().setChoice(DeviceDiscovery::Choice::OnlyUsable);
    session.discovery().requireDevice(invocation.serial);
    const int status = co_await runFlow(session, output, invocation);
    co_return status;
}

} // namespace ostrel::cli
