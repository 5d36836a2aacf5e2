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
#include "core/settings/AdbSetting.h"
#include "launch/ProgramHandOver.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QProcessEnvironment>

#include <csignal>
#include <cstdio>

namespace ostrel::cli {

namespace {

void print(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
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
        return launch::openWindow(argv, parsed.platformNamed, handedTo, verbOptionList());
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
    SessionEnvironment environment{
        AdbServerAddress::fromEnvironment(QProcessEnvironment::systemEnvironment())};
    // A script's phones are those each verb lists; --watch follows the server itself.
    environment.followDevices = false;
    BridgeSession session(runner, std::move(adbPath), std::move(environment));
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
    return runVerb(VerbContext{session, output, interrupts, parsed.invocation});
}

} // namespace ostrel::cli
