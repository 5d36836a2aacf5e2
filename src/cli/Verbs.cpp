// The command line's verbs: the window's flows, with the checks a script
// needs before them and a verdict at the end.
#include "cli/Verbs.h"

#include "cli/CommandLineOutput.h"
#include "core/session/BridgeSession.h"

#include <QCoro/QCoroTask>

namespace ostrel::cli {

using namespace Qt::Literals::StringLiterals;

namespace {

int verdict(bool reached) {
    return reached ? StateReached : StateNotReached;
}

QString deviceLines(const QStringList& serials) {
    QString lines;
    for (const QString& serial : serials)
        lines += u"    "_s + serial + u"\n"_s;
    return lines;
}

// Lists the devices and aims the session at the one the verb is for. False
// when there is none to aim at; the reason has been given.
QCoro::Task<bool> aimAtDevice(BridgeSession& session, CommandLineOutput& output,
                              const QString& serial) {
    const int32_t devices = co_await session.adbDevices();
    if (devices < 1)
        co_return false;
    const QStringList serials = session.listedDevices();
    if (serial.isEmpty()) {
        if (serials.size() == 1)
            co_return true;
        // Picking the first would act on a device the script may not mean.
        output.failure(
            u"Error: %1 devices are attached; name one with --serial:\n"_s.arg(serials.size()) +
            deviceLines(serials));
        co_return false;
    }
    if (!serials.contains(serial)) {
        output.failure(
            u"Error: no device with the serial %1 is attached. Attached:\n"_s.arg(serial) +
            deviceLines(serials));
        co_return false;
    }
    session.selectDevice(serial);
    co_return true;
}

enum class Installed { Yes, No, Unknown };

// The presence check, so that the process listing knows the executable's
// path. Unknown: the device could not be asked, and the reason has been given.
QCoro::Task<Installed> checkInstalled(BridgeSession& session) {
    const BridgeSession::ServerPresence presence = co_await session.checkServerPresence();
    switch (presence) {
    case BridgeSession::ServerPresence::Found:
        co_return Installed::Yes;
    case BridgeSession::ServerPresence::Missing:
        co_return Installed::No;
    case BridgeSession::ServerPresence::Unknown:
        break;
    }
    co_return Installed::Unknown;
}

// Start and stop begin alike: the device, then whether the app is there.
QCoro::Task<Installed> aimAndCheckInstalled(BridgeSession& session, CommandLineOutput& output,
                                            const QString& serial) {
    const bool aimed = co_await aimAtDevice(session, output, serial);
    if (!aimed)
        co_return Installed::Unknown;
    co_return co_await checkInstalled(session);
}

QCoro::Task<int> listDevices(BridgeSession& session, CommandLineOutput& output,
                             const QString& serial) {
    // Standard output carries the serials alone, for scripts to read.
    output.setProgressShown(false);
    co_await session.adbDevices();
    QStringList serials = session.listedDevices();
    if (!serial.isEmpty()) {
        if (!serials.contains(serial)) {
            output.failure(u"Error: no device with the serial %1 is attached.\n"_s.arg(serial));
            co_return StateNotReached;
        }
        serials = QStringList(serial);
    }
    for (const QString& listed : std::as_const(serials))
        output.result(listed + u"\n"_s);
    co_return verdict(!serials.isEmpty());
}

QCoro::Task<int> startServer(BridgeSession& session, CommandLineOutput& output,
                             const QString& serial) {
    output.progress(u"Starting Ostrel VNC Server on device...\n"_s);
    const Installed installed = co_await aimAndCheckInstalled(session, output, serial);
    if (installed == Installed::Unknown)
        co_return StateNotReached;
    // A server already running is left alone rather than launched twice.
    if (installed == Installed::Yes) {
        const bool listed = co_await session.findOstrelVNCServerPid();
        if (!listed)
            co_return StateNotReached;
        if (session.bridge().serverRunning) {
            output.progress(u"Ostrel VNC Server is already running on the device.\n"_s);
            co_return StateReached;
        }
    }
    // A start that did not bring the server up has said so.
    const bool running = co_await session.adbStartOstrelVNCServer();
    co_return verdict(running);
}

QCoro::Task<int> stopServer(BridgeSession& session, CommandLineOutput& output,
                            const QString& serial) {
    output.progress(u"Stopping Ostrel VNC Server on device...\n"_s);
    const Installed installed = co_await aimAndCheckInstalled(session, output, serial);
    if (installed == Installed::Unknown)
        co_return StateNotReached;
    if (installed == Installed::No) {
        output.progress(
            u"Ostrel VNC Server is not installed on the device, so it is not running.\n"_s);
        co_return StateReached;
    }
    const bool listed = co_await session.findOstrelVNCServerPid();
    if (!listed)
        co_return StateNotReached;
    // Only a stop that happened is reported as one.
    if (!session.bridge().serverRunning) {
        output.progress(u"Ostrel VNC Server is not running on the device.\n"_s);
        co_return StateReached;
    }
    // A stop that left the server running has said so.
    const bool stopped = co_await session.adbStopOstrelVNCServer();
    co_return verdict(stopped);
}

QCoro::Task<int> forwardPorts(BridgeSession& session, CommandLineOutput& output, int port,
                              const QString& serial) {
    output.progress(u"Setting up USB connection...\n"_s);
    const bool aimed = co_await aimAtDevice(session, output, serial);
    if (!aimed)
        co_return StateNotReached;
    const bool forwarded = co_await session.adbForward(port);
    co_return verdict(forwarded);
}

} // namespace

QCoro::Task<int> runVerb(BridgeSession& session, CommandLineOutput& output, Invocation invocation) {
    const BridgeSession::FlowScope flow(session);
    if (!flow.entered())
        co_return StateNotReached;
    switch (invocation.verb) {
    case Invocation::Verb::Devices:
        co_return co_await listDevices(session, output, invocation.serial);
    case Invocation::Verb::Start:
        co_return co_await startServer(session, output, invocation.serial);
    case Invocation::Verb::Stop:
        co_return co_await stopServer(session, output, invocation.serial);
    case Invocation::Verb::Forward:
        co_return co_await forwardPorts(session, output, invocation.port, invocation.serial);
    }
    co_return StateNotReached;
}

} // namespace ostrel::cli
