// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/process/ProcessRunner.h"
#include <QCoro/QCoroTask>

#include "core/process/AdbJob.h"

#include <QProcess>

namespace ostrel {

ProcessRunner::~ProcessRunner() {
    cancel();
}

QCoro::Task<AdbRun> ProcessRunner::run(const QString& program, const QStringList& arguments,
                                       std::chrono::milliseconds timeout) {
    QPointer<AdbJob> job = new AdbJob(program, arguments, timeout);
    jobs_.append(job);
    job->start();
    co_await job->done();
    AdbRun result = job->takeResult();
    jobs_.removeAll(job);
    job->dispose();
    co_return result;
}

QString ProcessRunner::startDetached(const QString& program, const QStringList& arguments,
                                     int outputDescriptor) {
    if (outputDescriptor < 0)
        return startDetachedTo(program, arguments, QString());
    // Qt opens the redirection itself, in this process and without asking us;
    // through the descriptor's name it can only open the file already made.
    return startDetachedTo(program, arguments, QStringLiteral("/dev/fd/%1").arg(outputDescriptor));
}

QString ProcessRunner::startDetachedTo(const QString& program, const QStringList& arguments,
                                       const QString& sink) {
    if (program.isEmpty())
        return QStringLiteral("no adb executable was found");
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    if (!sink.isEmpty()) {
        // Both append: a stream opened to truncate keeps its own offset and
        // writes over whatever the other stream wrote before it.
        process.setStandardOutputFile(sink, QIODevice::Append);
        process.setStandardErrorFile(sink, QIODevice::Append);
    } else {
        process.setStandardOutputFile(QProcess::nullDevice());
    }
    if (process.startDetached())
        return {};
    return describeStartFailure(program, process);
}

void ProcessRunner::cancel() {
    // Cancelling resumes the waiting flow, which removes its job from the list.
    const QList<QPointer<AdbJob>> running = jobs_;
    for (const QPointer<AdbJob>& job : running) {
        if (job)
            job->cancel();
    }
}

} // namespace ostrel
