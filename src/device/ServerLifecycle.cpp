// Bringing the VNC server up on the device, taking it down, and showing which
// state it is in.
#include "app/AppDelegate.h"

#include <QColor>
#include <QElapsedTimer>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QTextBrowser>

#include <algorithm>
#include <cstring>
#include <iterator>

namespace ostrel {

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
    return package + QStringLiteral("/.MainActivity");
}

QColor runningColour() {
    return QColor::fromRgbF(115 / 255., 200 / 255., 30 / 255.);
}

QColor stoppedColour() {
    return QColor::fromRgbF(240 / 255., 115 / 255., 30 / 255.);
}

} // namespace

void AppDelegate::onStartButtonClicked() {
    runUserAction([this] {
        // The last probe decides, not the button's title.
        if (bridge_.serverRunning) {
            appendStringToTextView(QStringLiteral("Stopping Ostrel VNC Server on device...\r\n"));
            adbStopOstrelVNCServer();
        } else {
            appendStringToTextView(QStringLiteral("Starting Ostrel VNC Server on device...\r\n"));
            adbStartOstrelVNCServer();
        }
    });
}

void AppDelegate::adbStartOstrelVNCServer() {
    adbDevices();
    if (bridge_.deviceCount < 1)
        return;
    if (!probeServerProcess())
        return;
    if (bridge_.serverRunning) {
        if (!probeServerProcess())
            return;
    } else if (!bringUpServer()) {
        return;
    }
    updateStatus();
}

// True when the server was launched and the status is to be shown.
bool AppDelegate::bringUpServer() {
    if (!launchMainActivity())
        return false;
    const Presence presence = waitForServerExecutable();
    if (presence == Presence::FlowEnded)
        return false;
    if (presence == Presence::Missing) {
        appendStringToTextView(QStringLiteral(
            "Error: Ostrel VNC Server is not installed on your android device.\r\n"));
        appendStringToTextView(
            QStringLiteral("Please purchase and install the app first from Google Play.\r\n"));
        setHyperlinkWithTextView(
            textView, QStringLiteral("Get the Ostrel VNC Server App from Google Play\r\n"),
            googlePlayFrontPage().toString());
        return false;
    }
    if (!runServer())
        return false;
    if (bridge_.serverUnsupported) {
        appendStringToTextView(
            QStringLiteral("Error: This version of Ostrel VNC Server is no longer supported.\r\n"));
        appendStringToTextView(
            QStringLiteral("Please update the app on your device from Google Play.\r\n\r\n"));
        return false;
    }
    return pollForServer();
}

// Until a listing has found the executable we do not know which package the
// app is installed under, so both main activities are launched.
bool AppDelegate::launchMainActivity() {
    QStringList components;
    if (bridge_.serverPackage[0] != '\0') {
        components.append(mainActivityOf(QString::fromUtf8(bridge_.serverPackage)));
    } else {
        for (const ServerCandidate& candidate : ServerCandidates)
            components.append(mainActivityOf(QString::fromUtf8(candidate.package)));
    }
    for (const QString& component : std::as_const(components)) {
        const QStringList launch{QStringLiteral("shell"),
                                 QStringLiteral("am"),
                                 QStringLiteral("start"),
                                 QStringLiteral("-a"),
                                 QStringLiteral("android.intent.action.MAIN"),
                                 QStringLiteral("-n"),
                                 component};
        if (!runOnDevice(Mode::Quiet, launch).flowGoesOn)
            return false;
    }
    return true;
}

// The app unpacks the executable when its activity starts, which takes a while.
AppDelegate::Presence AppDelegate::waitForServerExecutable() {
    Presence presence = Presence::Missing;
    for (int attempt = 0; attempt < PresenceAttempts; ++attempt) {
        presence = probeServerExecutable();
        if (presence != Presence::Missing)
            break;
        waitFor(waits_.presenceRetry);
    }
    if (presence == Presence::FlowEnded)
        return presence;
    waitFor(waits_.settle);
    if (presence == Presence::Missing)
        presence = probeServerExecutable();
    return presence;
}

bool AppDelegate::runServer() {
    bridge_.CommandMode = Mode::Quiet;
    const AdbRun run = launchAdbProcess(
        forSelectedDevice({QStringLiteral("shell"), QString::fromUtf8(bridge_.serverPath)}), false);
    bridge_.CommandMode = Mode::Idle;
    return run.finished();
}

// A server just launched may take a moment to show in the process list.
bool AppDelegate::pollForServer() {
    QElapsedTimer elapsed;
    elapsed.start();
    if (!probeServerProcess())
        return false;
    while (!bridge_.serverRunning &&
           std::chrono::milliseconds(elapsed.elapsed()) < waits_.serverAppearLimit) {
        waitFor(waits_.serverAppearPoll);
        if (!probeServerProcess())
            return false;
    }
    return true;
}

void AppDelegate::adbStopOstrelVNCServer() {
    adbDevices();
    if (bridge_.deviceCount < 1)
        return;
    if (!probeServerProcess())
        return;
    if (bridge_.serverRunning && bridge_.serverPid != 0 && !takeDownServer())
        return;
    if (!probeServerProcess())
        return;
    updateStatus();
}

// Asks the server to stop, and kills it once if it is still listed.
bool AppDelegate::takeDownServer() {
    const QString path = QString::fromUtf8(bridge_.serverPath);
    if (!runOnDevice(Mode::Quiet, {QStringLiteral("shell"), path, QStringLiteral("--stop")})
             .flowGoesOn)
        return false;
    if (!probeServerProcess())
        return false;
    if (!bridge_.serverRunning || bridge_.serverPid == 0)
        return true;
    const QStringList kill{QStringLiteral("shell"), QStringLiteral("kill"), QStringLiteral("-9"),
                           QString::number(bridge_.serverPid)};
    return runOnDevice(Mode::Idle, kill).flowGoesOn;
}

bool AppDelegate::checkOstrelVNCServerFileExists() {
    return probeServerExecutable() == Presence::Found;
}

AppDelegate::Presence AppDelegate::probeServerExecutable() {
    Presence presence = Presence::Missing;
    for (const ServerCandidate& candidate : ServerCandidates) {
        presence = listServerExecutable(candidate.package, candidate.path);
        if (presence != Presence::Missing)
            break;
    }
    if (presence == Presence::FlowEnded)
        return presence;
    if (presence == Presence::Missing) {
        storeText(bridge_.serverPackage, "");
        storeText(bridge_.serverPath, "");
    }
    // Follows the executable now on the device, so that updating the app
    // clears an earlier verdict.
    bridge_.serverUnsupported = isRetiredServerSize(bridge_.serverFileSize);
    return presence;
}

AppDelegate::Presence AppDelegate::listServerExecutable(const char* package, const char* path) {
    storeText(bridge_.serverPackage, package);
    storeText(bridge_.serverPath, path);
    // A missing file is reported on standard error, which we do not read: a
    // listing that printed nothing means "not there".
    bridge_.serverFileFound = false;
    bridge_.serverFileSize = 0;
    const QStringList listing{QStringLiteral("shell"), QStringLiteral("ls"), QStringLiteral("-l"),
                              QString::fromUtf8(path)};
    if (!runOnDevice(Mode::ServerFile, listing).flowGoesOn)
        return Presence::FlowEnded;
    return bridge_.serverFileFound ? Presence::Found : Presence::Missing;
}

void AppDelegate::findOstrelVNCServerPid() {
    probeServerProcess();
}

// False when the flow must end. The button keeps offering what it offered,
// since a probe that could not reach the device learned nothing.
bool AppDelegate::probeServerProcess() {
    const bool wasRunning = bridge_.serverRunning;
    bridge_.serverRunning = false;
    if (bridge_.serverPath[0] == '\0')
        return true;
    bridge_.serverPid = 0;
    if (runOnDevice(Mode::ServerProcess, {QStringLiteral("shell"), QStringLiteral("ps")})
            .flowGoesOn)
        return true;
    bridge_.serverRunning = wasRunning;
    return false;
}

void AppDelegate::updateStatus() {
    const bool running = bridge_.serverRunning;
    setStartButtonTitle(running ? QStringLiteral("Stop Ostrel VNC Server")
                                : QStringLiteral("Start Ostrel VNC Server"));
    if (statusLabel) {
        QPalette palette = statusLabel->palette();
        palette.setColor(QPalette::WindowText, running ? runningColour() : stoppedColour());
        statusLabel->setPalette(palette);
        statusLabel->setText(running ? QStringLiteral("Ostrel VNC server is running")
                                     : QStringLiteral("Ostrel VNC server is stopped"));
    }
    if (running) {
        appendStringToTextView(QStringLiteral("Ostrel VNC Server is successfully started.\r\n"));
        appendStringToTextView(QStringLiteral("You can now safely disconnect your device from "
                                              "this Mac, and quit this program.\r\n\r\n"));
        appendStringToTextView(
            QStringLiteral("If you can't connect to the IP address shown on device, you can click "
                           "the USB Connect button to set up USB connection.\r\n\r\n"));
    } else {
        appendStringToTextView(
            QStringLiteral("Ostrel VNC Server is successfully stopped.\r\n\r\n"));
    }
}

void AppDelegate::setStartButtonTitle(const QString& title) {
    if (!startButton)
        return;
    startButton->setText(title);
    startButton->setAccessibleName(title);
}

} // namespace ostrel
