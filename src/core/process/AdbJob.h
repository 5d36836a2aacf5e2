// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/process/AdbRun.h"
#ifndef Q_MOC_RUN // moc cannot read the standard coroutine headers
#include "core/process/AsyncEvent.h"
#endif

#include <QObject>
#include <QProcess>
#include <QTimer>

#include <chrono>

namespace ostrel {

// Why `program` could not be started, in words for the console.
QString describeStartFailure(const QString& program, const QProcess& process);

// One adb command waited for: its own process group, a deadline, and a cancel
// that ends the whole group. done() is set once, by whichever comes first.
class AdbJob : public QObject {
    Q_OBJECT

public:
    AdbJob(const QString& program, const QStringList& arguments, std::chrono::milliseconds timeout,
           QObject* parent = nullptr);

    void start();
    void cancel();
    AsyncEvent& done() { return done_; }
    AdbRun takeResult() { return std::move(result_); }
    // Deletes the job once its process has ended; a stopped command may still
    // be on its way out, and destroying a running QProcess would wait for it.
    void dispose();

private:
    void onFinished(int exitCode, QProcess::ExitStatus exitStatus);
    void onErrorOccurred(QProcess::ProcessError error);
    void onDeadline();
    void stopGroup();
    void finish(AdbRun::Status status, const QString& errorText = {});

    QString program_;
    std::chrono::milliseconds timeout_;
    QProcess process_;
    QTimer deadline_;
    AdbRun result_;
    AsyncEvent done_;
};

} // namespace ostrel
