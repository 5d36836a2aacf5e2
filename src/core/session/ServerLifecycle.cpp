// Bringing the VNC server up on the device, taking it down, and showing which
// state it is in.
#include "core/SiteAddresses.h"
#include "core/session/BridgeSession.h"

#include <QCoro/QCoroTask>
#include <QElapsedTimer>

#include <algorithm>
#include <cstring>
#include <iterator>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

namespace {

struct ServerCandidate {
    const char* package;
    const char* path;
};

// The app has shipped under two package identifiers; the first is tried first.
constexpr ServerCandidate ServerCandidates[] = {
    {"com.ostrel.vncserver", "/data/data/com.ostrel.vncserver/files/ostrelvncserver"},
    {"com.halvorn.pellit", "/data/data/com.halvorn.pellit/files/ostrelvncserver"},
};

// Executable sizes of builds that no longer work with this program.
constexpr int32_t RetiredServerSizes[] = {432848, 362932, 363196, 599519, 615492, 498532,
                                          420404, 420556, 420572, 723997, 734867, 774427};

constexpr int PresenceAttempts = 10;

bool isRetiredServerSize(int32_t size) {
    return std::find(std::begin(RetiredServerSizes), std::end(RetiredServerSizes), size) !=
           std::end(RetiredServerSizes);
}

template <std::size_t N> void storeText(char (&field)[N], const char* text) {
    std::strncpy(field, text, N - 1);
    field[N - 1] = '\0';
}

QString mainActivityOf(const QString& package) {
    return package + u"/.MainActivity"_s;
}

} // namespace

// True when the server runs at the end.
QCoro::Task<bool> BridgeSession::adbStartOstrelVNCServer() {
    // Every await stands alone: the compiler resumes a freed frame when an
    // awaited task ends inside a condition.
    const int32_t devices = co_await adbDevices();
    if (devices < 1)
        co_return false;
    const bool probed = co_await probeServerProcess();
    if (!probed)
        co_return false;
    if (bridge_.serverRunning) {
        const bool probedAgain = co_await probeServerProcess();
        if (!probedAgain)
            co_return false;
    } else {
        const bool launched = co_await bringUpServer();
        if (!launched)
            co_return false;
    }
    updateStatus();
    co_return bridge_.serverRunning;
}

// True when the server was launched and the status is to be shown.
QCoro::Task<bool> BridgeSession::bringUpServer() {
    const bool activityLaunched = co_await launchMainActivity();
    if (!activityLaunched)
        co_return false;
    const Presence presence = co_await waitForServerExecutable();
    if (presence == Presence::FlowEnded)
        co_return false;
    if (presence == Presence::Missing) {
        say(u"Error: Ostrel VNC Server is not installed on your android device.\r\n"_s,
            MessageKind::Failure);
        say(u"Please purchase and install the app first from Google Play.\r\n"_s,
            MessageKind::Failure);
        sayLink(u"Get the Ostrel VNC Server App from Google Play\r\n"_s, googlePlayFrontPage(),
                MessageKind::Failure);
        co_return false;
    }
    const bool serverLaunched = co_await runServer();
    if (!serverLaunched)
        co_return false;
    if (bridge_.serverUnsupported) {
        say(u"Error: This version of Ostrel VNC Server is no longer supported.\r\n"_s,
            MessageKind::Failure);
        say(u"Please update the app on your device from Google Play.\r\n\r\n"_s,
            MessageKind::Failure);
        co_return false;
    }
    co_return co_await pollForServer();
}

// Until a listing has found the executable we do not know which package the
// app is installed under, so both main activities are launched.
QCoro::Task<bool> BridgeSession::launchMainActivity() {
    QStringList components;
    if (bridge_.serverPackage[0] != '\0') {
        components.append(mainActivityOf(QString::fromUtf8(bridge_.serverPackage)));
    } else {
        for (const ServerCandidate& candidate : ServerCandidates)
            components.append(mainActivityOf(QString::fromUtf8(candidate.package)));
    }
    for (const QString& component : std::as_const(components)) {
        const QStringList launch{
            u"shell"_s, u"am"_s,  u"start"_s, u"-a"_s, u"android.intent.action.MAIN"_s,
            u"-n"_s,    component};
        const DeviceCommand command = co_await runOnDevice(Mode::Quiet, launch);
        if (!command.flowGoesOn)
            co_return false;
    }
    co_return true;
}

// The app unpacks the executable when its activity starts, which takes a while.
QCoro::Task<BridgeSession::Presence> BridgeSession::waitForServerExecutable() {
    Presence presence = Presence::Missing;
    for (int attempt = 0; attempt < PresenceAttempts; ++attempt) {
        presence = co_await probeServerExecutable();
        if (presence != Presence::Missing)
            break;
        const bool waited = co_await pause(waits_.presenceRetry);
        if (!waited)
            co_return Presence::FlowEnded;
    }
    if (presence == Presence::FlowEnded)
        co_return presence;
    const bool settled = co_await pause(waits_.settle);
    if (!settled)
        co_return Presence::FlowEnded;
    if (presence == Presence::Missing)
        presence = co_await probeServerExecutable();
    co_return presence;
}

QCoro::Task<bool> BridgeSession::runServer() {
    bridge_.CommandMode = Mode::Quiet;
    const QStringList launch =
        forSelectedDevice({u"shell"_s, QString::fromUtf8(bridge_.serverPath)});
    const AdbRun run = co_await launchAdbProcess(launch, false);
    bridge_.CommandMode = Mode::Idle;
    co_return run.finished();
}

// A server just launched may take a moment to show in the process list.
QCoro::Task<bool> BridgeSession::pollForServer() {
    QElapsedTimer elapsed;
    elapsed.start();
    const bool probed = co_await probeServerProcess();
    if (!probed)
        co_return false;
    while (!bridge_.serverRunning &&
           std::chrono::milliseconds(elapsed.elapsed()) < waits_.serverAppearLimit) {
        const bool waited = co_await pause(waits_.serverAppearPoll);
        if (!waited)
            co_return false;
        const bool probedAgain = co_await probeServerProcess();
        if (!probedAgain)
            co_return false;
    }
    co_return true;
}

// True when the server is not running at the end.
QCoro::Task<bool> BridgeSession::adbStopOstrelVNCServer() {
    const int32_t devices = co_await adbDevices();
    if (devices < 1)
        co_return false;
    const bool probed = co_await probeServerProcess();
    if (!probed)
        co_return false;
    if (bridge_.serverRunning && bridge_.serverPid != 0) {
        const bool takenDown = co_await takeDownServer();
        if (!takenDown)
            co_return false;
    }
    const bool probedAgain = co_await probeServerProcess();
    if (!probedAgain)
        co_return false;
    updateStatus();
    co_return !bridge_.serverRunning;
}

// Asks the server to stop, and kills it once if it is still listed.
QCoro::Task<bool> BridgeSession::takeDownServer() {
    const QString path = QString::fromUtf8(bridge_.serverPath);
    const QStringList stop{u"shell"_s, path, u"--stop"_s};
    const DeviceCommand asked = co_await runOnDevice(Mode::Quiet, stop);
    if (!asked.flowGoesOn)
        co_return false;
    const bool probed = co_await probeServerProcess();
    if (!probed)
        co_return false;
    if (!bridge_.serverRunning || bridge_.serverPid == 0)
        co_return true;
    const QStringList kill{u"shell"_s, u"kill"_s, u"-9"_s, QString::number(bridge_.serverPid)};
    const DeviceCommand killed = co_await runOnDevice(Mode::Idle, kill);
    co_return killed.flowGoesOn;
}

QCoro::Task<bool> BridgeSession::checkOstrelVNCServerFileExists() {
    const Presence presence = co_await probeServerExecutable();
    co_return presence == Presence::Found;
}

QCoro::Task<BridgeSession::Presence> BridgeSession::probeServerExecutable() {
    Presence presence = Presence::Missing;
    for (const ServerCandidate& candidate : ServerCandidates) {
        presence = co_await listServerExecutable(candidate.package, candidate.path);
        if (presence != Presence::Missing)
            break;
    }
    if (presence == Presence::FlowEnded)
        co_return presence;
    if (presence == Presence::Missing) {
        storeText(bridge_.serverPackage, "");
        storeText(bridge_.serverPath, "");
    }
    // Follows the executable now on the device, so that updating the app
    // clears an earlier verdict.
    bridge_.serverUnsupported = isRetiredServerSize(bridge_.serverFileSize);
    co_return presence;
}

QCoro::Task<BridgeSession::Presence> BridgeSession::listServerExecutable(const char* package,
                                                                         const char* path) {
    storeText(bridge_.serverPackage, package);
    storeText(bridge_.serverPath, path);
    // A missing file is reported on standard error, which we do not read: a
    // listing that printed nothing means "not there".
    bridge_.serverFileFound = false;
    bridge_.serverFileSize = 0;
    const QStringList listing{u"shell"_s, u"ls"_s, u"-l"_s, QString::fromUtf8(path)};
    const DeviceCommand listed = co_await runOnDevice(Mode::ServerFile, listing);
    if (!listed.flowGoesOn)
        co_return Presence::FlowEnded;
    co_return bridge_.serverFileFound ? Presence::Found : Presence::Missing;
}

QCoro::Task<bool> BridgeSession::findOstrelVNCServerPid() {
    co_return co_await probeServerProcess();
}

// False when the flow must end. The state keeps what it said, since a probe
// that could not reach the device learned nothing.
QCoro::Task<bool> BridgeSession::probeServerProcess() {
    const bool wasRunning = bridge_.serverRunning;
    bridge_.serverRunning = false;
    if (bridge_.serverPath[0] == '\0')
        co_return true;
    bridge_.serverPid = 0;
    const QStringList listing{u"shell"_s, u"ps"_s};
    const DeviceCommand listed = co_await runOnDevice(Mode::ServerProcess, listing);
    if (listed.flowGoesOn)
        co_return true;
    bridge_.serverRunning = wasRunning;
    co_return false;
}

void BridgeSession::updateStatus() {
    const bool running = bridge_.serverRunning;
    if (!cancelled_)
        Q_EMIT serverStateChanged(running);
    if (running) {
        say(u"Ostrel VNC Server is successfully started.\r\n"_s);
        say(u"You can now safely disconnect your device from this Mac, and quit "
            "this program.\r\n\r\n"_s);
        say(u"If you can't connect to the IP address shown on device, you can click "
            "the USB Connect button to set up USB connection.\r\n\r\n"_s);
    } else {
        say(u"Ostrel VNC Server is successfully stopped.\r\n\r\n"_s);
    }
}

} // namespace ostrel
