// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/session/ServerLifecycle.h"

#include "core/PlatformTexts.h"
#include "core/SiteAddresses.h"
#include "core/device/FileListing.h"
#include "core/device/ServerCandidates.h"
#include "core/session/AdbCommands.h"
#include "core/session/FlowControl.h"
#include "core/session/ServerOutput.h"
#include "core/session/ServerOutputFolder.h"
#include "core/session/SessionConsole.h"

#include <QCoro/QCoroTask>
#include <QElapsedTimer>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int PresenceAttempts = 10;
// Listings after a launch whose wait doubles before the steady poll takes over.
constexpr int QuickPolls = 3;

QString mainActivityOf(const QString& package) {
    return package + u"/.MainActivity"_s;
}

} // namespace

ServerLifecycle::ServerLifecycle(AdbCommands& commands, SessionConsole& console, FlowControl& flow,
                                 const Waits& waits, QObject* parent)
    : QObject(parent), commands_(commands), console_(console), flow_(flow), waits_(waits) {}

QCoro::Task<bool> ServerLifecycle::adbStartOstrelVNCServer(QString serial) {
    const Step<ServerProcess> process = co_await probeServer(serial);
    if (!process.goesOn())
        co_return false;
    if (process.value.running) {
        // Launched twice, a second server would fight the first for its ports.
        console_.say(u"Ostrel VNC Server is already running on the device.\r\n"_s);
        showServerState(serial, true);
        co_return true;
    }
    const std::optional<ServerOutput> output = co_await bringUpServer(serial);
    if (!output)
        co_return false;
    reportStart(serial, *output);
    co_return phones_.value(serial).serverRunning;
}

// Only a server that is listed is called started; otherwise what it printed
// is the best clue to why not.
void ServerLifecycle::reportStart(const QString& serial, const ServerOutput& output) {
    if (phones_.value(serial).serverRunning) {
        updateStatus(serial, true);
        return;
    }
    showServerState(serial, false);
    console_.say(u"Error: Ostrel VNC Server did not start on the device.\r\n"_s,
                 MessageKind::Failure);
    console_.say(output.tail(), MessageKind::Failure);
}

// The output is handed on only when the server was launched and its state is
// to be shown.
QCoro::Task<std::optional<ServerOutput>> ServerLifecycle::bringUpServer(QString serial) {
    const bool activityLaunched = co_await launchMainActivity(serial);
    if (!activityLaunched)
        co_return std::nullopt;
    const Step<ServerPresence> presence = co_await waitForServerExecutable(serial);
    if (!presence.goesOn())
        co_return std::nullopt;
    if (presence.value == ServerPresence::Missing) {
        sayNotInstalled();
        co_return std::nullopt;
    }
    std::optional<ServerOutput> output = runServer(serial);
    if (!output)
        co_return std::nullopt;
    if (phones_.value(serial).serverUnsupported) {
        console_.say(u"Error: This version of Ostrel VNC Server is no longer supported.\r\n"_s,
                     MessageKind::Failure);
        console_.say(u"Please update the app on your device from Google Play.\r\n\r\n"_s,
                     MessageKind::Failure);
        co_return std::nullopt;
    }
    const bool polled = co_await pollForServer(serial);
    if (!polled)
        co_return std::nullopt;
    co_return std::move(output);
}

void ServerLifecycle::sayNotInstalled() {
    console_.say(u"Error: Ostrel VNC Server is not installed on your android device.\r\n"_s,
                 MessageKind::Failure);
    console_.say(u"Please purchase and install the app first from Google Play.\r\n"_s,
                 MessageKind::Failure);
    console_.sayLink(u"Get the Ostrel VNC Server App from Google Play\r\n"_s, googlePlayFrontPage(),
                     MessageKind::Failure);
}

// Until a listing has found the executable we do not know which package the
// app is installed under, so both main activities are launched.
QCoro::Task<bool> ServerLifecycle::launchMainActivity(QString serial) {
    QStringList components;
    const QString known = phones_.value(serial).serverPackage;
    if (!known.isEmpty()) {
        components.append(mainActivityOf(known));
    } else {
        for (const ServerCandidate& candidate : ServerCandidates)
            components.append(mainActivityOf(QString::fromUtf8(candidate.package)));
    }
    for (const QString& component : std::as_const(components)) {
        const QStringList launch{
            u"shell"_s, u"am"_s,  u"start"_s, u"-a"_s, u"android.intent.action.MAIN"_s,
            u"-n"_s,    component};
        const Step<AdbRun> launched = co_await commands_.runOnDevice(serial, Echo::Quiet, launch);
        if (!launched.goesOn())
            co_return false;
    }
    co_return true;
}

// The app unpacks the executable when its activity starts, which takes a while.
QCoro::Task<Step<ServerPresence>> ServerLifecycle::waitForServerExecutable(QString serial) {
    Step<ServerPresence> presence;
    for (int attempt = 0; attempt < PresenceAttempts; ++attempt) {
        presence = co_await checkOstrelVNCServerFileExists(serial);
        if (!presence.goesOn() || presence.value == ServerPresence::Found)
            break;
        const bool waited = co_await flow_.pause(waits_.presenceRetry);
        if (!waited)
            co_return Step<ServerPresence>{FlowStep::Cancelled, ServerPresence::Unknown};
    }
    if (!presence.goesOn())
        co_return presence;
    const bool settled = co_await flow_.pause(waits_.settle);
    if (!settled)
        co_return Step<ServerPresence>{FlowStep::Cancelled, ServerPresence::Unknown};
    if (presence.value == ServerPresence::Missing)
        presence = co_await checkOstrelVNCServerFileExists(serial);
    co_return presence;
}

// The server writes through the file's descriptor, and its tail is read back
// through the same one: nothing at the file's name is ever opened again.
std::optional<ServerOutput> ServerLifecycle::runServer(const QString& serial) {
    const QStringList launch =
        AdbCommands::forDevice(serial, {u"shell"_s, phones_.value(serial).serverPath});
    ServerOutputFolder::Made made = outputFolder_.createFor(serial);
    console_.say(made.note, MessageKind::Failure);
    const AdbRun run = commands_.launchDetachedAdbProcess(launch, made.output.descriptor());
    if (!run.finished())
        return std::nullopt;
    return std::move(made.output);
}

// A server just launched may take a moment to show in the process list: a
// listing sent at once would reach the phone before the launch does.
QCoro::Task<bool> ServerLifecycle::pollForServer(QString serial) {
    QElapsedTimer elapsed;
    elapsed.start();
    std::chrono::milliseconds wait = waits_.serverAppearFirstPoll;
    for (int listing = 1;; ++listing) {
        const bool waited = co_await flow_.pause(wait);
        if (!waited)
            co_return false;
        const Step<ServerProcess> process = co_await findOstrelVNCServerPid(serial);
        if (!process.goesOn())
            co_return false;
        if (process.value.running ||
            std::chrono::milliseconds(elapsed.elapsed()) >= waits_.serverAppearLimit)
            co_return true;
        wait = listing < QuickPolls ? wait * 2 : waits_.serverAppearPoll;
    }
}

QCoro::Task<bool> ServerLifecycle::adbStopOstrelVNCServer(QString serial) {
    const Step<ServerProcess> process = co_await probeServer(serial);
    if (!process.goesOn())
        co_return false;
    // Only a stop that happened is reported as one.
    if (phones_.value(serial).serverPath.isEmpty()) {
        console_.say(
            u"Ostrel VNC Server is not installed on the device, so it is not running.\r\n"_s);
        showServerState(serial, false);
        co_return true;
    }
    if (!process.value.running) {
        console_.say(u"Ostrel VNC Server is not running on the device.\r\n"_s);
        showServerState(serial, false);
        co_return true;
    }
    // Asking the server to stop needs no process id.
    const bool takenDown = co_await takeDownServer(serial);
    if (!takenDown)
        co_return false;
    const Step<ServerProcess> after = co_await findOstrelVNCServerPid(serial);
    if (!after.goesOn())
        co_return false;
    reportStop(serial);
    co_return !after.value.running;
}

// A server still listed keeps the button on Stop, so that the user can try again.
void ServerLifecycle::reportStop(const QString& serial) {
    if (!phones_.value(serial).serverRunning) {
        updateStatus(serial, false);
        return;
    }
    showServerState(serial, true);
    console_.say(u"Error: Ostrel VNC Server is still running on the device.\r\n"_s,
                 MessageKind::Failure);
}

// Asks the server to stop, and kills it once if it is still listed with a
// process id.
QCoro::Task<bool> ServerLifecycle::takeDownServer(QString serial) {
    const QStringList stop{u"shell"_s, phones_.value(serial).serverPath, u"--stop"_s};
    const Step<AdbRun> asked = co_await commands_.runOnDevice(serial, Echo::Quiet, stop);
    if (!asked.goesOn())
        co_return false;
    const Step<ServerProcess> process = co_await findOstrelVNCServerPid(serial);
    if (!process.goesOn())
        co_return false;
    if (!process.value.running || process.value.pid == 0)
        co_return true;
    const QStringList kill{u"shell"_s, u"kill"_s, u"-9"_s, QString::number(process.value.pid)};
    const Step<AdbRun> killed = co_await commands_.runOnDevice(serial, Echo::Shown, kill);
    co_return killed.goesOn();
}

// A listing refused for every candidate says why and ends the flow: the app
// may well be there.
QCoro::Task<Step<ServerPresence>> ServerLifecycle::checkOstrelVNCServerFileExists(QString serial) {
    QString refusals;
    for (const ServerCandidate& candidate : ServerCandidates) {
        const QString path = QString::fromUtf8(candidate.path);
        const QStringList list{u"shell"_s, u"ls"_s, u"-l"_s, path};
        const Step<AdbRun> listed = co_await commands_.runOnDevice(serial, Echo::Quiet, list);
        if (!listed.goesOn())
            co_return listed.stopped<ServerPresence>();
        const ServerFileListing file = readServerFileListing(listed.value, path);
        if (file.kind == ServerFileListing::Kind::Found) {
            PhoneRecord& phone = phones_[serial];
            phone.serverPackage = QString::fromUtf8(candidate.package);
            phone.serverPath = path;
            phone.serverFileSize = file.size;
            // Follows the executable now on the phone, so that updating the
            // app clears an earlier verdict.
            phone.serverUnsupported = isRetiredServerSize(file.size);
            co_return goOn(ServerPresence::Found);
        }
        refusals += file.refusal;
    }
    if (!refusals.isEmpty()) {
        console_.say(refusals, MessageKind::Failure);
        console_.say(u"Error: the app's files could not be checked on this device.\r\n"_s,
                     MessageKind::Failure);
        co_return Step<ServerPresence>{FlowStep::Ends, ServerPresence::Unknown};
    }
    PhoneRecord& phone = phones_[serial];
    phone.serverPackage.clear();
    phone.serverPath.clear();
    phone.serverFileSize = 0;
    phone.serverUnsupported = false;
    co_return goOn(ServerPresence::Missing);
}

// Without a known path there is nothing to look for: the server is taken
// as not running.
QCoro::Task<Step<ServerProcess>> ServerLifecycle::findOstrelVNCServerPid(QString serial) {
    const QString path = phones_.value(serial).serverPath;
    if (path.isEmpty()) {
        phones_[serial].serverRunning = false;
        co_return goOn(ServerProcess{});
    }
    const QStringList list{u"shell"_s, u"ps"_s};
    const Step<AdbRun> listed = co_await commands_.runOnDevice(serial, Echo::Quiet, list);
    // A listing that did not reach the phone learned nothing.
    if (!listed.goesOn())
        co_return listed.stopped<ServerProcess>();
    const ServerProcess process = readServerProcess(listed.value.standardOutput, path);
    PhoneRecord& phone = phones_[serial];
    phone.serverRunning = process.running;
    phone.serverPid = process.pid;
    co_return goOn(process);
}

QCoro::Task<Step<ServerProcess>> ServerLifecycle::probeServer(QString serial) {
    if (phones_.value(serial).serverPath.isEmpty()) {
        const Step<ServerPresence> presence = co_await checkOstrelVNCServerFileExists(serial);
        if (!presence.goesOn())
            co_return presence.stopped<ServerProcess>();
    }
    co_return co_await findOstrelVNCServerPid(serial);
}

// A cancelled flow shows nothing more, its state included.
void ServerLifecycle::showServerState(const QString& serial, bool running) {
    if (!flow_.cancelled())
        Q_EMIT serverStateChanged(serial, running);
}

void ServerLifecycle::updateStatus(const QString& serial, bool running) {
    showServerState(serial, running);
    if (running) {
        console_.say(u"Ostrel VNC Server is successfully started.\r\n"_s);
        console_.say(u"You can now safely disconnect your device from %1, and quit this "
                     "program.\r\n\r\n"_s.arg(thisComputer()));
        console_.say(u"If you can't connect to the IP address shown on device, you can click "
                     "the USB Connect button to set up USB connection.\r\n\r\n"_s);
    } else {
        console_.say(u"Ostrel VNC Server is successfully stopped.\r\n\r\n"_s);
    }
}

} // namespace ostrel
