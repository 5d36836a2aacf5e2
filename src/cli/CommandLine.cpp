#include "cli/CommandLine.h"

#include "cli/CommandLineOutput.h"
#include "cli/Invocation.h"
#include "cli/OutputClosedWatcher.h"
#include "cli/Verbs.h"
#include "cli/WatchVerb.h"
#include "core/ProgramIdentity.h"
#include "core/process/InterruptWatcher.h"
#include "core/process/ProcessRunner.h"
#include "core/session/BridgeSession.h"
#include "core/settings/AdbSetting.h"
#include "launch/ProgramHandOver.h"

#include <QCoreApplication>
#include <QCoro/QCoroTask>
#include <QLoggingCategory>
#include <QTimer>

#include <csignal>
#include <cstdio>

namespace ostrel::cli {

namespace {

void print(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

// A signal's status comes first; then an output that could not be written
// loses what was asked for, whatever the verb reached.
int exitStatus(const InterruptWatcher& interrupts, const CommandLineOutput& output, int status) {
    return interrupts.exitStatusOr(output.lost() ? StateNotReached : status);
}

// It runs until told to stop, so it is no flow but a watch that ends on a
// signal, on a lost reader, or on finding no server.
int runWatch(BridgeSession& session, CommandLineOutput& output, InterruptWatcher& interrupts,
             const QString& serial) {
    WatchVerb watch(session, output, serial);
    OutputClosedWatcher readerGone(fileno(stdout));
    QObject::connect(&watch, &WatchVerb::finished, &watch, [&interrupts, &output](int status) {
        QCoreApplication::exit(exitStatus(interrupts, output, status));
    });
    QObject::connect(&interrupts, &InterruptWatcher::interrupted, &watch,
                     [&watch] { watch.stop(StateNotReached); });
    QObject::connect(&output, &CommandLineOutput::lostOutput, &watch,
                     [&watch] { watch.stop(StateNotReached); });
    QObject::connect(&readerGone, &OutputClosedWatcher::closed, &watch, [&watch, &output] {
        output.mute();
        watch.stop(StateReached);
    });
    QTimer::singleShot(0, &watch, &WatchVerb::start);
    return QCoreApplication::exec();
}

} // namespace

int runCommandLine(int argc, char* argv[], const launch::HandOverTrail& handedTo) {
    // No display is needed, so none is asked for.
    QCoreApplication application(argc, argv);
    applyProgramIdentity();
    // The program's diagnostic log is for developers; on standard error it
    // would mix with the messages scripts read.
    QLoggingCategory::setFilterRules(QStringLiteral("default.info=false"));

    const ParsedArguments parsed = parseArguments(QCoreApplication::arguments());
    if (parsed.outcome == ParsedArguments::Outcome::Window)
        return launch::openWindow(argv, parsed.platformNamed, handedTo);
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

    InterruptWatcher interrupts;
    ProcessRunner runner;
    const QString chosenAdb = parsed.invocation.adbPath;
    std::function<QString()> adbPath = getAdbPath;
    if (!chosenAdb.isEmpty())
        adbPath = [chosenAdb] { return chosenAdb; };
    BridgeSession session(runner, std::move(adbPath));
    CommandLineOutput output(stdout, stderr);
    output.follow(session);
    if (chosenAdb.isEmpty())
        output.failure(adbSearchNote());
    output.setInterruptCheck([&interrupts] { return interrupts.poll(); });

    QObject::connect(&interrupts, &InterruptWatcher::interrupted, &session, [&](int) {
        output.mute();
        session.cancel();
    });
    QObject::connect(&output, &CommandLineOutput::lostOutput, &session, [&] { session.cancel(); });
    if (parsed.invocation.verb == Invocation::Verb::Watch)
        return runWatch(session, output, interrupts, parsed.invocation.serial);
    // Started from the event loop, so that a flow ending at once still ends it.
    QTimer::singleShot(0, &application, [&] {
        QCoro::connect(runVerb(session, output, parsed.invocation), &application,
                       [&interrupts, &output](int status) {
                           QCoreApplication::exit(exitStatus(interrupts, output, status));
                       });
    });
    return QCoreApplication::exec();
}

} // namespace ostrel::cli
