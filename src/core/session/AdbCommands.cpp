// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/session/AdbCommands.h"

#include "core/device/AdbFailure.h"
#include "core/device/SerialArgument.h"
#include "core/session/FlowControl.h"
#include "core/session/SessionConsole.h"
#include "core/text/VisibleText.h"

#include <QCoro/QCoroTask>
#include <QProcessEnvironment>

#include <algorithm>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

namespace {

QString commandLine(const QString& program, const QStringList& arguments) {
    QStringList parts{program};
    parts += arguments;
    return parts.join(QLatin1Char(' '));
}

// The output up to its last line end: what a command that was cut off did
// finish saying.
QByteArray finishedLines(const QByteArray& output) {
    const qsizetype lastEnd = std::max(output.lastIndexOf('\n'), output.lastIndexOf('\r'));
    return output.first(lastEnd + 1);
}

// forDevice() puts the serial second; it is the one argument from outside.
QString serialOf(const QStringList& arguments) {
    if (arguments.size() < 2 || arguments.first() != u"-s"_s)
        return {};
    return arguments.at(1);
}

AdbRun noAdb() {
    AdbRun missing;
    missing.errorText = u"no adb executable was found"_s;
    return missing;
}

} // namespace

AdbCommands::AdbCommands(CommandRunner& runner, AdbLookup adb, std::chrono::milliseconds timeout,
                         SessionConsole& console, const FlowControl& flow, QObject* parent)
    : QObject(parent), runner_(runner), adb_(std::move(adb)), timeout_(timeout), console_(console),
      flow_(flow) {}

QStringList AdbCommands::forDevice(const QString& serial, const QStringList& arguments) {
    return QStringList{u"-s"_s, serial} + arguments;
}

// Exec would cut the serial at a NUL, and the rest may name another phone; a
// serial too long would fail the start and read as an adb that cannot run.
std::optional<AdbRun> AdbCommands::refuseUnnameableSerial(const QStringList& arguments) {
    const QString why = unnameableSerial(serialOf(arguments));
    if (why.isEmpty())
        return std::nullopt;
    console_.say(u"Error: %1.\r\n"_s.arg(why), MessageKind::Failure);
    AdbRun refused;
    refused.status = AdbRun::Status::FailedToStart;
    refused.errorText = why;
    return refused;
}

QCoro::Task<AdbRun> AdbCommands::runAndReport(Echo echo, QStringList arguments) {
    if (std::optional<AdbRun> refused = refuseUnnameableSerial(arguments))
        co_return std::move(*refused);
    const QString program = adb_.path();
    if (program.isEmpty()) {
        const AdbRun missing = noAdb();
        reportIfNotFinished(missing);
        co_return missing;
    }
    AdbRun run = co_await runner_.run(program, arguments, timeout_);
    Q_EMIT commandRan();
    if (run.status == AdbRun::Status::Cancelled || flow_.cancelled())
        co_return run;
    show(run, echo);
    if (!reportIfNotFinished(run))
        qInfo("adb command failed: %s",
              qUtf8Printable(visibleText(commandLine(program, arguments))));
    co_return run;
}

AdbRun AdbCommands::launchDetachedAdbProcess(const QStringList& arguments, int outputDescriptor) {
    if (std::optional<AdbRun> refused = refuseUnnameableSerial(arguments))
        return std::move(*refused);
    const QString program = adb_.path();
    AdbRun run = noAdb();
    if (!program.isEmpty()) {
        run.errorText = runner_.startDetached(program, arguments, outputDescriptor);
        run.status =
            run.errorText.isEmpty() ? AdbRun::Status::Finished : AdbRun::Status::FailedToStart;
    }
    reportIfNotFinished(run);
    return run;
}

QCoro::Task<Step<AdbRun>> AdbCommands::runOnDevice(QString serial, Echo echo,
                                                   QStringList arguments) {
    co_return co_await runOnServer(echo, forDevice(serial, arguments));
}

QCoro::Task<Step<AdbRun>> AdbCommands::runOnServer(Echo echo, QStringList arguments) {
    AdbRun run = co_await runAndReport(echo, arguments);
    if (run.status == AdbRun::Status::Cancelled || flow_.cancelled())
        co_return Step<AdbRun>{FlowStep::Cancelled, std::move(run)};
    if (!run.finished())
        co_return Step<AdbRun>{FlowStep::Ends, std::move(run)}; // said why already
    if (deviceIsGone(run)) {
        // Going on would only poll a phone that is not there and then claim
        // something about it.
        console_.say(standardErrorForConsole(run), MessageKind::Failure);
        co_return Step<AdbRun>{FlowStep::Ends, std::move(run)};
    }
    co_return goOn(std::move(run));
}

QCoro::Task<Step<AdbRun>> AdbCommands::askServer(Echo echo, QStringList arguments) {
    AdbRun run = co_await runAndReport(echo, arguments);
    if (run.status == AdbRun::Status::Cancelled || flow_.cancelled())
        co_return Step<AdbRun>{FlowStep::Cancelled, std::move(run)};
    if (run.succeeded())
        co_return goOn(std::move(run));
    sayServerUnanswered(arguments, run);
    co_return Step<AdbRun>{FlowStep::Ends, std::move(run)};
}

// After adb's own words, where to look: the adb that ran and the server its
// environment (ours) names. An adb that could not be run at all has been told
// apart already, with its own advice.
void AdbCommands::sayServerUnanswered(const QStringList& arguments, const AdbRun& run) {
    if (run.status == AdbRun::Status::NoExecutable || run.status == AdbRun::Status::FailedToStart)
        return;
    if (run.finished())
        console_.say(u"Error: adb %1 failed (exit status %2).\r\n"_s.arg(
                         arguments.join(u' '), QString::number(run.exitCode)) +
                         standardErrorForConsole(run),
                     MessageKind::Failure);
    console_.say(adbSetupToCheck(adb_.path(), QProcessEnvironment::systemEnvironment()),
                 MessageKind::Failure);
}

// A command that ended by itself said its last line even without a line end;
// one that crashed or was stopped may have been cut off in the middle of one,
// and that part is not shown.
void AdbCommands::show(const AdbRun& run, Echo echo) {
    if (echo == Echo::Quiet)
        return;
    const QByteArray output =
        run.finished() ? run.standardOutput : finishedLines(run.standardOutput);
    if (!output.isEmpty())
        writeStdOut(QString::fromUtf8(output));
}

void AdbCommands::writeStdOut(const QString& text) {
    console_.say(text);
}

bool AdbCommands::reportIfNotFinished(const AdbRun& run) {
    switch (run.status) {
    case AdbRun::Status::Finished:
        return true;
    case AdbRun::Status::NoExecutable:
        console_.say(adb_.notFoundMessage(), MessageKind::Failure);
        return false;
    case AdbRun::Status::FailedToStart:
        console_.say(u"Error: adb could not be run: %1. Click the adb button to choose the "
                     "adb executable.\r\n"_s.arg(run.errorText),
                     MessageKind::Failure);
        return false;
    case AdbRun::Status::TimedOut:
    case AdbRun::Status::Crashed:
        console_.say(u"Error: %1.\r\n"_s.arg(run.errorText), MessageKind::Failure);
        return false;
    case AdbRun::Status::Cancelled:
        return false;
    }
    return false;
}

} // namespace ostrel
