#include "core/session/AdbCommands.h"

#include "core/bridge/BridgeState.h"
#include "core/device/AdbFailure.h"
#include "core/session/FlowControl.h"
#include "core/session/SessionConsole.h"
#include "core/settings/AdbSetting.h"

#include <QCoro/QCoroTask>

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

AdbRun noAdb() {
    AdbRun missing;
    missing.errorText = u"no adb executable was found"_s;
    return missing;
}

} // namespace

AdbCommands::AdbCommands(CommandRunner& runner, std::function<QString()> adbPath,
                         std::chrono::milliseconds timeout, SessionConsole& console,
                         const FlowControl& flow, QObject* parent)
    : QObject(parent), runner_(runner), adbPath_(std::move(adbPath)), timeout_(timeout),
      console_(console), flow_(flow) {}

QStringList AdbCommands::forDevice(const QString& serial, const QStringList& arguments) {
    return QStringList{u"-s"_s, serial} + arguments;
}

QCoro::Task<AdbRun> AdbCommands::launchAdbProcess(QStringList arguments, bool wait) {
    if (!wait)
        co_return launchDetachedAdbProcess(arguments);
    co_return co_await runAndReport(Mode::Idle, arguments);
}

QCoro::Task<AdbRun> AdbCommands::runAndReport(int32_t mode, QStringList arguments) {
    const QString program = adbPath_();
    if (program.isEmpty()) {
        const AdbRun missing = noAdb();
        reportIfNotFinished(missing);
        co_return missing;
    }
    AdbRun run = co_await runner_.run(program, arguments, timeout_);
    Q_EMIT commandRan();
    if (run.status == AdbRun::Status::Cancelled || flow_.cancelled())
        co_return run;
    echo(run, mode);
    if (!reportIfNotFinished(run))
        qInfo("adb command failed: %s", qUtf8Printable(commandLine(program, arguments)));
    co_return run;
}

AdbRun AdbCommands::launchDetachedAdbProcess(const QStringList& arguments,
                                             const QString& outputFile) {
    const QString program = adbPath_();
    AdbRun run = noAdb();
    if (!program.isEmpty()) {
        run.errorText = runner_.startDetached(program, arguments, outputFile);
        run.status =
            run.errorText.isEmpty() ? AdbRun::Status::Finished : AdbRun::Status::FailedToStart;
    }
    reportIfNotFinished(run);
    return run;
}

QCoro::Task<Step<AdbRun>> AdbCommands::runOnDevice(QString serial, int32_t mode,
                                                   QStringList arguments) {
    co_return co_await runOnServer(mode, forDevice(serial, arguments));
}

QCoro::Task<Step<AdbRun>> AdbCommands::runOnServer(int32_t mode, QStringList arguments) {
    AdbRun run = co_await runAndReport(mode, arguments);
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

// A command that ended by itself said its last line even without a line end;
// one that crashed or was stopped may have been cut off in the middle of one,
// and that part is not shown.
void AdbCommands::echo(const AdbRun& run, int32_t mode) {
    if (!isEchoed(mode))
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
        console_.say(adbNotFoundMessage(), MessageKind::Failure);
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
