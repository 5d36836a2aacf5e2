// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/process/AdbJob.h"

#include <QFileInfo>

#include <algorithm>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace ostrel {

namespace {

// The most of one channel a command may leave: an adb that printed without
// end would otherwise fill the memory until its time limit stopped it.
constexpr qsizetype OutputLimit = qsizetype{8} << 20;

// Reads what the channel has and keeps it, up to the limit; the rest is read
// all the same, so that the command never blocks on a full pipe.
void keepOutput(QByteArray& kept, const QByteArray& more) {
    kept += more.first(std::min(more.size(), OutputLimit - kept.size()));
}

// Output that reached the limit ends at its last line end: the line it was
// cut in would be read as something it is not.
void endAtLastLine(QByteArray& kept) {
    if (kept.size() < OutputLimit)
        return;
    kept.truncate(std::max(kept.lastIndexOf('\n'), kept.lastIndexOf('\r')) + 1);
}

} // namespace

QString describeStartFailure(const QString& program, const QProcess& process) {
    QFileInfo info(program);
    if (!info.exists())
        return QStringLiteral("%1 does not exist").arg(program);
    if (!info.isExecutable())
        return QStringLiteral("%1 is not executable").arg(program);
    return QStringLiteral("%1 could not be started (%2)").arg(program, process.errorString());
}

AdbJob::AdbJob(const QString& program, const QStringList& arguments,
               std::chrono::milliseconds timeout, QObject* parent)
    : QObject(parent), program_(program), timeout_(timeout) {
    process_.setProgram(program);
    process_.setArguments(arguments);
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    // A command that reads its standard input must not wait on ours, and a
    // background process group that touched a terminal would be stopped.
    process_.setStandardInputFile(QProcess::nullDevice());
    // Its own group, so that stopping it also stops whatever it started. The
    // command line ignores SIGPIPE for itself; adb gets the default back.
    process_.setChildProcessModifier([] {
        ::setpgid(0, 0);
        ::signal(SIGPIPE, SIG_DFL);
    });
    deadline_.setSingleShot(true);
    // Qt makes a coarse timer of 20 s or more fire up to 5 % early; a limit
    // is a promise to adb and to the user alike.
    deadline_.setTimerType(Qt::PreciseTimer);
    connect(&process_, &QProcess::finished, this, &AdbJob::onFinished);
    connect(&process_, &QProcess::errorOccurred, this, &AdbJob::onErrorOccurred);
    connect(&deadline_, &QTimer::timeout, this, &AdbJob::onDeadline);
    connect(&process_, &QProcess::readyReadStandardOutput, this,
            [this] { keepOutput(result_.standardOutput, process_.readAllStandardOutput()); });
    connect(&process_, &QProcess::readyReadStandardError, this,
            [this] { keepOutput(result_.standardError, process_.readAllStandardError()); });
}

void AdbJob::start() {
    if (program_.isEmpty()) {
        finish(AdbRun::Status::NoExecutable, QStringLiteral("no adb executable was found"));
        return;
    }
    process_.start(QIODevice::ReadOnly);
    // The child makes its own group too; doing it here as well closes the
    // window in which a cancel could miss a child that has not got that far.
    if (const qint64 pid = process_.processId(); pid > 0)
        ::setpgid(static_cast<pid_t>(pid), static_cast<pid_t>(pid));
    if (!done_.isSet())
        deadline_.start(timeout_);
}

void AdbJob::cancel() {
    if (done_.isSet())
        return;
    stopGroup();
    finish(AdbRun::Status::Cancelled, QStringLiteral("%1 was cancelled").arg(program_));
}

void AdbJob::dispose() {
    deadline_.stop();
    if (process_.state() == QProcess::NotRunning) {
        deleteLater();
        return;
    }
    disconnect(&process_, nullptr, this, nullptr);
    connect(&process_, &QProcess::finished, this, &QObject::deleteLater);
}

void AdbJob::onFinished(int exitCode, QProcess::ExitStatus exitStatus) {
    result_.exitCode = exitCode;
    if (exitStatus == QProcess::CrashExit)
        finish(AdbRun::Status::Crashed, QStringLiteral("%1 ended abnormally").arg(program_));
    else
        finish(AdbRun::Status::Finished);
}

void AdbJob::onErrorOccurred(QProcess::ProcessError error) {
    if (error == QProcess::FailedToStart)
        finish(AdbRun::Status::FailedToStart, describeStartFailure(program_, process_));
}

void AdbJob::onDeadline() {
    stopGroup();
    finish(AdbRun::Status::TimedOut,
           QStringLiteral("%1 did not finish within %2 seconds and was stopped")
               .arg(program_)
               .arg(static_cast<double>(timeout_.count()) / 1000.0));
}

void AdbJob::stopGroup() {
    const qint64 pid = process_.processId();
    if (pid <= 0)
        return;
    // A stopped command has nothing worth saving: end the group at once.
    ::kill(-static_cast<pid_t>(pid), SIGKILL);
    ::kill(static_cast<pid_t>(pid), SIGKILL);
}

void AdbJob::finish(AdbRun::Status status, const QString& errorText) {
    if (done_.isSet())
        return;
    deadline_.stop();
    result_.status = status;
    result_.errorText = errorText;
    keepOutput(result_.standardOutput, process_.readAllStandardOutput());
    keepOutput(result_.standardError, process_.readAllStandardError());
    endAtLastLine(result_.standardOutput);
    endAtLastLine(result_.standardError);
    done_.set();
}

} // namespace ostrel
