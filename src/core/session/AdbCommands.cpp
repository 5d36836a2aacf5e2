// Running adb for the session, and feeding its output to the console and the
// classifier.
#include "core/session/BridgeSession.h"
#include "core/settings/AdbSetting.h"
#include <QCoro/QCoroTask>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

namespace {

QString commandLine(const QString& program, const QStringList& arguments) {
    QStringList parts{program};
    parts += arguments;
    return parts.join(QLatin1Char(' '));
}

} // namespace

QCoro::Task<AdbRun> BridgeSession::launchAdbProcess(QStringList arguments, bool wait) {
    const QString program = adbPath_();
    if (program.isEmpty()) {
        AdbRun missing;
        missing.errorText = u"no adb executable was found"_s;
        reportIfNotFinished(missing);
        co_return missing;
    }
    if (!wait) {
        AdbRun run;
        run.errorText = runner_.startDetached(program, arguments);
        run.status =
            run.errorText.isEmpty() ? AdbRun::Status::Finished : AdbRun::Status::FailedToStart;
        reportIfNotFinished(run);
        co_return run;
    }
    AdbRun run = co_await runner_.run(program, arguments, waits_.commandTimeout);
    if (run.status == AdbRun::Status::Cancelled || cancelled_)
        co_return run;
    if (!run.standardOutput.isEmpty())
        writeStdOut(QString::fromUtf8(run.standardOutput));
    if (!reportIfNotFinished(run))
        qInfo("adb command failed: %s", qUtf8Printable(commandLine(program, arguments)));
    co_return run;
}

bool BridgeSession::reportIfNotFinished(const AdbRun& run) {
    switch (run.status) {
    case AdbRun::Status::Finished:
        return true;
    case AdbRun::Status::NoExecutable:
        say(adbNotFoundMessage(), MessageKind::Failure);
        return false;
    case AdbRun::Status::FailedToStart:
        say(u"Error: adb could not be run: %1. Click the adb button to choose the "
            "adb executable.\r\n"_s.arg(run.errorText),
            MessageKind::Failure);
        return false;
    case AdbRun::Status::TimedOut:
    case AdbRun::Status::Crashed:
        say(u"Error: %1.\r\n"_s.arg(run.errorText), MessageKind::Failure);
        return false;
    case AdbRun::Status::Cancelled:
        return false;
    }
    return false;
}

void BridgeSession::writeStdOut(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    if (isEchoed(bridge_.CommandMode))
        say(text);
    lineBuffer_.assemble(
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
        [this](char* line) { processOneLineFromOutputMessage(line); });
}

} // namespace ostrel
