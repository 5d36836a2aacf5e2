#include "core/process/ProcessRunner.h"
#include <QCoro/QCoroTask>

#include "core/process/AdbJob.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace ostrel {

namespace {

// Created for the user alone, since a program's output may tell about the device.
bool emptyOutputFile(const QString& path) {
    if (path.isEmpty())
        return false;
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate,
                     QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

} // namespace

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
                                     const QString& outputFile) {
    if (program.isEmpty())
        return QStringLiteral("no adb executable was found");
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    if (emptyOutputFile(outputFile)) {
        // Both append: a stream opened to truncate keeps its own offset and
        // writes over whatever the other stream wrote before it.
        process.setStandardOutputFile(outputFile, QIODevice::Append);
        process.setStandardErrorFile(outputFile, QIODevice::Append);
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
