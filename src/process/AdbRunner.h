#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>

namespace ostrel {

// The outcome of one adb command that was waited for.
struct AdbRun {
    enum class Status { Finished, NoExecutable, FailedToStart, TimedOut, Crashed };

    Status status = Status::NoExecutable;
    int exitCode = -1;
    QByteArray standardOutput;
    QByteArray standardError;
    QString errorText; // why the command did not finish normally

    bool finished() const { return status == Status::Finished; }
    bool succeeded() const { return finished() && exitCode == 0; }
};

// Runs `program` with exactly `arguments` and waits for it inside a local event
// loop, so the window keeps repainting while user input is held back. A child
// that outlives `timeout` is killed.
AdbRun runAndWait(const QString& program, const QStringList& arguments,
                  std::chrono::milliseconds timeout);

// Starts `program` so that it outlives us; its standard output is discarded.
// Returns an empty string on success, otherwise why it could not be started.
QString startDetached(const QString& program, const QStringList& arguments);

} // namespace ostrel
