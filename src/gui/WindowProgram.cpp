// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/WindowProgram.h"

#include "cli/CommandLine.h"
#include "cli/Invocation.h"
#include "core/ProgramIdentity.h"
#include "core/process/InterruptWatcher.h"
#include "core/process/ProcessRunner.h"
#include "core/settings/QSettingsStore.h"
#include "core/view/ProcessViewerTrials.h"
#include "gui/AppDelegate.h"
#include "gui/MainWindow.h"
#include "gui/QtDesktop.h"
#include "gui/secrets/DesktopKeychain.h"
#include "gui/viewer/ViewerWindows.h"
#include "launch/ProgramHandOver.h"

#include <QApplication>
#include <QFile>
#include <QProcessEnvironment>

#include <csignal>

namespace ostrel {

namespace {

// adb is looked for beside the ostrel-dravik that was started.
QString launcherFolder() {
    const QByteArray own = QFile::encodeName(QCoreApplication::applicationDirPath());
    return QFile::decodeName(QByteArray::fromStdString(launch::launcherFolder(own.toStdString())));
}

void applyWindowIdentity() {
    applyProgramIdentity();
    QApplication::setApplicationDisplayName(ProgramName);
    // Lets the desktop match the window to the installed entry and its icon.
    QApplication::setDesktopFileName(DesktopFileName);
}

// A verb that shows a window of ours alone: the command line hands it over
// here, where there is a display.
int runVerbWithWindows(const cli::Invocation& invocation) {
    // The verb ends the program when its window has ended; the window
    // closing is not the end by itself.
    QApplication::setQuitOnLastWindowClosed(false);
    ViewerWindows windows;
    DesktopKeychain keychain(ProgramName);
    windows.rememberPasswordsIn(keychain);
    return cli::runInvocation(invocation, &windows);
}

} // namespace

int runWindowProgram(int argc, char* argv[]) {
    // The viewer's connection library writes to its socket with plain
    // write(): a phone unplugged mid-write would otherwise end the program
    // by SIGPIPE. A failed write is an error the connection reports instead.
    std::signal(SIGPIPE, SIG_IGN);
    QApplication application(argc, argv);
    const cli::ParsedArguments parsed = cli::parseArguments(QCoreApplication::arguments());
    if (parsed.outcome == cli::ParsedArguments::Outcome::Run &&
        cli::verbNeedsDisplay(parsed.invocation.verb)) {
        applyWindowIdentity();
        return runVerbWithWindows(parsed.invocation);
    }
    // Watched from the start: a logout (SIGTERM, SIGHUP), a closed terminal
    // or Ctrl+C would otherwise end the program and leave its adb commands
    // running in their own process groups, without their time limits.
    InterruptWatcher endSignals;
    applyWindowIdentity();

    QtDesktop desktop;
    ProcessRunner runner;
    QSettingsStore settings;
    ProcessViewerTrials viewers(ProcessViewerTrials::systemSearchPath());
    AppDelegate controller(desktop, runner, settings, launcherFolder(), viewers,
                           SessionEnvironment{AdbServerAddress::fromEnvironment(
                               QProcessEnvironment::systemEnvironment())});
    MainWindow window(controller);
    // The application may be told to quit without the window or the menu
    // (the Dock, logging out): that ends the program the same way.
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &controller,
                     &AppDelegate::requestQuitFromWindow);
    // Told from outside to end: at once, and with adb's server as it is.
    QObject::connect(&endSignals, &InterruptWatcher::interrupted, &controller,
                     [&controller, &endSignals] {
                         controller.endAtOnce();
                         QCoreApplication::exit(endSignals.exitStatusOr(0));
                     });
    // The window first: the controller fills it in before its first frame and
    // leaves the rest (the update check, the network stack) until after it.
    window.show();
    controller.awakeFromNib();
    return QApplication::exec();
}

} // namespace ostrel
