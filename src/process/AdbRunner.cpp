#include "process/AdbRunner.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

namespace ostrel {

namespace {

QString describeStartFailure(const QString& program, const QProcess& process) {
    QFileInfo info(program);
    if (!info.exists())
        return QStringLiteral("%1 does not exist").arg(program);
    if (!info.isExecutable())
        return QStringLiteral("%1 is not executable").arg(program);
    return QStringLiteral("%1 could not be started (%2)").arg(program, process.errorString());
}

void waitInLocalLoop(QProcess& process, std::chrono::milliseconds timeout, bool& timedOut) {
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        loop.quit();
    });
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    deadline.start(timeout);
    if (process.state() != QProcess::NotRunning)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
}

} // namespace

AdbRun runAndWait(const QString& program, const QStringList& arguments,
                  std::chrono::milliseconds timeout) {
    AdbRun run;
    if (program.isEmpty()) {
        run.errorText = QStringLiteral("no adb executable was found");
        return run;
    }
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(-1)) {
        run.status = AdbRun::Status::FailedToStart;
        run.errorText = describeStartFailure(program, process);
        return run;
    }

    bool timedOut = false;
    waitInLocalLoop(process, timeout, timedOut);
    if (timedOut) {
        process.kill();
        process.waitForFinished(-1);
        run.status = AdbRun::Status::TimedOut;
        run.errorText = QStringLiteral("%1 did not finish within %2 seconds and was stopped")
                            .arg(program)
                            .arg(timeout.count() / 1000.0);
    } else if (process.exitStatus() == QProcess::CrashExit) {
        run.status = AdbRun::Status::Crashed;
        run.errorText = QStringLiteral("%1 ended abnormally").arg(program);
    } else {
        run.status = AdbRun::Status::Finished;
        run.exitCode = process.exitCode();
    }
    run.standardOutput = process.readAllStandardOutput();
    run.standardError = process.readAllStandardError();
    return run;
}

QString startDetached(const QString& program, const QStringList& arguments) {
    if (program.isEmpty())
        return QStringLiteral("no adb executable was found");
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    if (!process.startDetached())
        return describeStartFailure(program, process);
    return {};
}

} // namespace ostrel
