// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

namespace ostrel {

// The outcome of one adb command that was waited for.
struct AdbRun {
    enum class Status { Finished, NoExecutable, FailedToStart, TimedOut, Crashed, Cancelled };

    Status status = Status::NoExecutable;
    int exitCode = -1;
    QByteArray standardOutput;
    QByteArray standardError;
    QString errorText; // why the command did not finish normally

    bool finished() const { return status == Status::Finished; }
    bool succeeded() const { return finished() && exitCode == 0; }
};

} // namespace ostrel
