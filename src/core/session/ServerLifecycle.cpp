// Bringing the VNC server up on the device, taking it down, and showing which
// state it is in.
#include "core/PlatformTexts.h"
#include "core/SiteAddresses.h"
#include "core/device/AdbFailure.h"
#include "core/session/BridgeSession.h"
#include "core/session/ServerOutput.h"

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
// Listings after a launch whose wait doubles before the steady poll takes over.
constexpr int QuickPolls = 3;

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

// ls says why it could not list a path as "ls: PATH: REASON", on standard error,
// or mixed into standard output on phones without shell_v2. Only a missing
// file means the app is not there.
QString listingRefusal(const AdbRun& run) {
    const QByteArray missing = "No such file or directory";
    if (run.exitCode != 0 && !run.standardError.contains(missing)) {
        const QString text = standardErrorForConsole(run);
        return text.isEmpty() ? u"ls failed with exit status %1.\r\n"_s.arg(run.exitCode) : text;
    }
    QString refusal;
    const QList<QByteArray> lines = run.standardOutput.split('\n');
    for (const QByteArray& line : lines) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.startsWith("ls:") && !trimmed.contains(missing))
            refusal += QString::fromUtf8(trimmed) + u"\r\n"_s;
    }
    return refusal;
}

} // namespace

// Both flows begin alike: a device to talk to, then what its process list says.
QCoro::Task<bool> BridgeSession::reachDeviceAndProbe() {
    const int32_t devices = co_await adbDevices();
    if (devices < 1)
        co_return false;
    co_return co_await probeServerProcess();
}

// True when the server runs at the end.
QCoro::Task<bool> BridgeSession::adbStartOstrelVNCServer() {
    // Every await stands alone: the compiler resumes a freed frame when an
    // awaited task ends inside a condition.
    serverOutputFile_.clear();
    const bool reached = co_await reachDeviceAndProbe();
    if (!reached)
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
    reportStart();
    co_return bridge_.serverRunning;
}

// Only a server that is listed is called started; otherwise what it printed
// is the best clue to why not.
void BridgeSession::reportStart() {
    if (bridge_.serverRunning) {
        updateStatus();
        return;
    }
    showServerState(false);
    say(u"Error: Ostrel VNC Server did not start on the device.\r\n"_s, MessageKind::Failure);
    say(serverOutputTail(serverOutputFile_), MessageKind::Failure);
}

// True when the server was launched and the status is to be shown.
QCoro::Task<bool> BridgeSession::bringUpServer() {
    const bool activityLaunched = co_await launchMainActivity();
    if (!activityLaunched)
        co_return false;
    const Presence presence = co_await waitForServerExecutable();
    if (presence == Presence::FlowEnded || presence == Presence::Refused)
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
    if (presence == Presence::FlowEnded || presence == Presence::Refused)
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
    serverOutputFile_ = serverOutputFile(selectedSerial_);
    const AdbRun run = launchDetachedAdbProcess(launch, serverOutputFile_);
    bridge_.CommandMode = Mode::Idle;
    co_return run.finished();
}

// A server just launched may take a moment to show in the process list: a
// listing sent at once would reach the device before the launch does.
QCoro::Task<bool> BridgeSession::pollForServer() {
    QElapsedTimer elapsed;
    elapsed.start();
    std::chrono::milliseconds wait = waits_.serverAppearFirstPoll;
    for (int listing = 1;; ++listing) {
        const bool waited = co_await pause(wait);
        if (!waited)
            co_return false;
        const bool probed = co_await probeServerProcess();
        if (!probed)
            co_return false;
        if (bridge_.serverRunning ||
            std::chrono::milliseconds(elapsed.elapsed()) >= waits_.serverAppearLimit)
            co_return true;
        wait = listing < QuickPolls ? wait * 2 : waits_.serverAppearPoll;
    }
}

// True when the server is not running at the end.
QCoro::Task<bool> BridgeSession::adbStopOstrelVNCServer() {
    const bool reached = co_await reachDeviceAndProbe();
    if (!reached)
        co_return false;
    if (bridge_.serverRunning) {
        const bool takenDown = co_await takeDownServer();
        if (!takenDown)
            co_return false;
    }
    const bool probedAgain = co_await probeServerProcess();
    if (!probedAgain)
        co_return false;
    reportStop();
    co_return !bridge_.serverRunning;
}

// A server still listed keeps the button on Stop, so that the user can try again.
void BridgeSession::reportStop() {
    if (!bridge_.serverRunning) {
        updateStatus();
        return;
    }
    showServerState(true);
    say(u"Error: Ostrel VNC Server is still running on the device.\r\n"_s, MessageKind::Failure);
}

// Asks the server to stop, and kills it once if it is still listed with a
// process id.
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
    const ServerPresence presence = co_await checkServerPresence();
    co_return presence == ServerPresence::Found;
}

QCoro::Task<BridgeSession::ServerPresence> BridgeSession::checkServerPresence() {
    const Presence presence = co_await probeServerExecutable();
    switch (presence) {
    case Presence::Found:
        co_return ServerPresence::Found;
    case Presence::Missing:
        co_return ServerPresence::Missing;
    case Presence::Refused:
    case Presence::FlowEnded:
        break;
    }
    co_return ServerPresence::Unknown;
}

// Refused: a listing was refused and no candidate was found; adb's text and
// the verdict have been written, and the flow must end.
QCoro::Task<BridgeSession::Presence> BridgeSession::probeServerExecutable() {
    // A check cut short confirmed nothing, so it changes nothing.
    const ServerKnowledge before = serverKnowledgeOf(bridge_);
    Presence presence = Presence::Missing;
    QString refusals;
    for (const ServerCandidate& candidate : ServerCandidates) {
        presence = co_await listServerExecutable(candidate.package, candidate.path, &refusals);
        if (presence == Presence::Found || presence == Presence::FlowEnded)
            break;
    }
    if (presence == Presence::FlowEnded) {
        restoreServerKnowledge(bridge_, before);
        co_return presence;
    }
    if (presence != Presence::Found && !refusals.isEmpty()) {
        restoreServerKnowledge(bridge_, before);
        say(refusals, MessageKind::Failure);
        say(u"Error: the app's files could not be checked on this device.\r\n"_s,
            MessageKind::Failure);
        co_return Presence::Refused;
    }
    if (presence == Presence::Missing) {
        storeText(bridge_.serverPackage, "");
        storeText(bridge_.serverPath, "");
    }
    // Follows the executable now on the device, so that updating the app
    // clears an earlier verdict.
    bridge_.serverUnsupported = isRetiredServerSize(bridge_.serverFileSize);
    co_return presence;
}

// The path is stored only once a listing has shown the executable there.
QCoro::Task<BridgeSession::Presence>
BridgeSession::listServerExecutable(const char* package, const char* path, QString* refusals) {
    bridge_.serverFileFound = false;
    bridge_.serverFileSize = 0;
    const QStringList listing{u"shell"_s, u"ls"_s, u"-l"_s, QString::fromUtf8(path)};
    const DeviceCommand listed = co_await runOnDevice(Mode::ServerFile, listing);
    if (!listed.flowGoesOn)
        co_return Presence::FlowEnded;
    const QString refusal = listingRefusal(listed.run);
    if (!refusal.isEmpty()) {
        *refusals += refusal;
        co_return Presence::Refused;
    }
    if (!bridge_.serverFileFound)
        co_return Presence::Missing;
    storeText(bridge_.serverPackage, package);
    storeText(bridge_.serverPath, path);
    co_return Presence::Found;
}

QCoro::Task<bool> BridgeSession::findOstrelVNCServerPid() {
    co_return co_await probeServerProcess();
}

// False when the flow must end. The state keeps what it said, since a probe
// that could not reach the device learned nothing.
QCoro::Task<bool> BridgeSession::probeServerProcess() {
    const bool wasRunning = bridge_.serverRunning;
    const int32_t oldPid = bridge_.serverPid;
    bridge_.serverRunning = false;
    if (bridge_.serverPath[0] == '\0')
        co_return true;
    bridge_.serverPid = 0;
    const QStringList listing{u"shell"_s, u"ps"_s};
    const DeviceCommand listed = co_await runOnDevice(Mode::ServerProcess, listing);
    if (listed.flowGoesOn)
        co_return true;
    bridge_.serverRunning = wasRunning;
    bridge_.serverPid = oldPid;
    co_return false;
}

QCoro::Task<void> BridgeSession::probeSelectedDevice() {
    const FlowScope flow(*this);
    if (!flow.entered() || selectedSerial_.isEmpty() || bridge_.deviceCount < 1)
        co_return;
    // The process listing needs the path, which only the presence check finds.
    if (bridge_.serverPath[0] == '\0') {
        const Presence presence = co_await probeServerExecutable();
        if (presence == Presence::FlowEnded || presence == Presence::Refused)
            co_return;
    }
    const bool probed = co_await probeServerProcess();
    if (probed)
        showServerState(bridge_.serverRunning);
}

// A cancelled flow shows nothing more, its state included.
void BridgeSession::showServerState(bool running) {
    if (!cancelled_)
        Q_EMIT serverStateChanged(running);
}

void BridgeSession::updateStatus() {
    const bool running = bridge_.serverRunning;
    showServerState(running);
    if (running) {
        say(u"Ostrel VNC Server is successfully started.\r\n"_s);
        say(u"You can now safely disconnect your device from %1, and quit this program.\r\n\r\n"_s
                .arg(thisComputer()));
        say(u"If you can't connect to the IP address shown on device, you can click "
            "the USB Connect button to set up USB connection.\r\n\r\n"_s);
    } else {
        say(u"Ostrel VNC Server is successfully stopped.\r\n\r\n"_s);
    }
}

} // namespace ostrel
