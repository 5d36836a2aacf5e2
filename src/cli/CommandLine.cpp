// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CommandLine.h"

#include "cli/CommandLineOutput.h"
#include "cli/Invocation.h"
#include "cli/VerbContext.h"
#include "cli/VerbRegistry.h"
#include "cli/Verbs.h"
#include "core/ProgramIdentity.h"
#include "core/process/InterruptWatcher.h"
#include "core/process/ProcessRunner.h"
#include "core/session/BridgeSession.h"
#include "core/session/BuiltInViewer.h"
#include "core/settings/QSettingsStore.h"
#include "launch/ProgramHandOver.h"

#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>
#include <QProcessEnvironment>

#include <csignal>
#include <cstdio>

namespace ostrel::cli {

using namespace Qt::Literals::StringLiterals;

namespace {

void print(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

// adb is looked for beside the ostrel-dravik that was started.
QString launcherFolder() {
    const QByteArray own = QFile::encodeName(QCoreApplication::applicationDirPath());
    return QFile::decodeName(QByteArray::fromStdString(launch::launcherFolder(own.toStdString())));
}

} // namespace

int runCommandLine(int argc, char* argv[], const launch::HandOverTrail& handedTo) {
    // No display is needed, so none is asked for.
    QCoreApplication application(argc, argv);
    applyProgramIdentity();

    const ParsedArguments parsed = parseArguments(QCoreApplication::arguments());
    if (parsed.outcome == ParsedArguments::Outcome::Window)
        return launch::openWindow(argv, parsed.platformNamed, handedTo, verbOptionList());
    if (parsed.outcome == ParsedArguments::Outcome::Run && verbNeedsDisplay(parsed.invocation.verb))
        return launch::openWindowFor(
            argv, parsed.platformNamed, handedTo,
            u"Error: --%1 shows the device's screen in a window, and there is no display to "
            "open it on."_s.arg(parsed.invocation.verb)
                .toStdString());
    // A reader that goes early (`| head -1`) must not end a flow half-way:
    // writes fail instead, and the output then writes nothing more.
    std::signal(SIGPIPE, SIG_IGN);
    switch (parsed.outcome) {
    case ParsedArguments::Outcome::Usage:
        print(stderr, parsed.text);
        return UsageError;
    case ParsedArguments::Outcome::Help:
    case ParsedArguments::Outcome::Version: {
        CommandLineOutput output(stdout, stderr);
        output.result(parsed.text);
        return output.lost() ? StateNotReached : StateReached;
    }
    case ParsedArguments::Outcome::Run:
    case ParsedArguments::Outcome::Window:
        break;
    }
    return runInvocation(parsed.invocation);
}

bool verbNeedsDisplay(const QString& verb) {
    for (const VerbSpelling& spelling : VerbSpellings) {
        if (verb ==
            QLatin1StringView(spelling.name.data(), static_cast<qsizetype>(spelling.name.size())))
            return spelling.needsDisplay;
    }
    return false;
}

int runInvocation(const Invocation& invocation, BuiltInViewer* viewer) {
    // The program's diagnostic log is for developers; on standard error it
    // would mix with the messages scripts read.
    QLoggingCategory::setFilterRules(QStringLiteral("default.info=false"));

    InterruptWatcher interrupts;
    ProcessRunner runner;
    QSettingsStore settings;
    // --adb wins over the stored choice, for this run alone.
    const QString givenAdb = invocation.adbPath;
    const AdbLookup adb(
        [&settings, givenAdb] { return givenAdb.isEmpty() ? settings.chosenAdb() : givenAdb; },
        launcherFolder());
    SessionEnvironment environment{
        AdbServerAddress::fromEnvironment(QProcessEnvironment::systemEnvironment())};
    // A script's phones are those each verb lists; --watch follows the server itself.
    environment.followDevices = false;
    BridgeSession session(runner, settings, adb, std::move(environment));
    CommandLineOutput output(stdout, stderr);
    output.follow(session);
    output.failure(adb.searchNote());
    output.setInterruptCheck([&interrupts] { return interrupts.poll(); });

    QObject::connect(&interrupts, &InterruptWatcher::interrupted, &session, [&](int) {
        output.mute();
        session.cancel();
    });
    QObject::connect(&output, &CommandLineOutput::lostOutput, &session, [&] { session.cancel(); });
    if (viewer) {
        viewer->runAdbWith(runner, adb);
        // Told to end: no window is left behind to keep the program running.
        QObject::connect(&interrupts, &InterruptWatcher::interrupted, &session,
                         [viewer](int) { viewer->closeAll(); });
    }
    return runVerb(VerbContext{session, output, interrupts, invocation, viewer});
}

} // namespace ostrel::cli
