// Running adb for the session, and feeding its output to the console and the
// classifier.
#include "core/session/BridgeSession.h"
#include "core/session/ConsoleText.h"
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

bool endsLine(const QString& text) {
    return text.endsWith(u'\n') || text.endsWith(u'\r');
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
    if (!wait)
        co_return launchDetachedAdbProcess(arguments);
    AdbRun run = co_await runner_.run(program, arguments, waits_.commandTimeout);
    if (run.status == AdbRun::Status::Cancelled || cancelled_) {
        lineBuffer_.discard();
        co_return run;
    }
    takeCommandOutput(run);
    if (!reportIfNotFinished(run))
        qInfo("adb command failed: %s", qUtf8Printable(commandLine(program, arguments)));
    co_return run;
}

AdbRun BridgeSession::launchDetachedAdbProcess(const QStringList& arguments,
                                               const QString& outputFile) {
    AdbRun run;
    const QString program = adbPath_();
    if (program.isEmpty()) {
        run.errorText = u"no adb executable was found"_s;
    } else {
        run.errorText = runner_.startDetached(program, arguments, outputFile);
        run.status =
            run.errorText.isEmpty() ? AdbRun::Status::Finished : AdbRun::Status::FailedToStart;
    }
    reportIfNotFinished(run);
    return run;
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

// A command that ended by itself said its last line even without a line end;
// one that crashed or was stopped may have been cut off in the middle of one,
// and that part is neither shown nor read.
void BridgeSession::takeCommandOutput(const AdbRun& run) {
    const auto onLine = [this](char* line) { processOneLineFromOutputMessage(line); };
    const QByteArray output =
        run.finished() ? run.standardOutput : finishedLines(run.standardOutput);
    if (!output.isEmpty())
        writeStdOut(QString::fromUtf8(output));
    if (run.finished())
        lineBuffer_.flush(onLine);
    else
        lineBuffer_.discard();
}

// Every text for the console passes here: adb's output and the device's
// answers are untrusted and are shaped, and a failure always starts a line of
// its own, even after output that did not end its line.
void BridgeSession::emitConsoleText(const QString& text, MessageKind kind) {
    QString shown = shapeConsoleText(text);
    if (kind == MessageKind::Failure && !consoleAtLineStart_)
        shown.prepend(u"\r\n"_s);
    consoleAtLineStart_ = endsLine(shown);
    Q_EMIT consoleText(shown, kind);
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
