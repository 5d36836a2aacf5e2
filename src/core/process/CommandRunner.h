// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/process/AdbRun.h"

#include <QCoro/QCoroFwd>
#include <QString>
#include <QStringList>

#include <chrono>

namespace ostrel {

// Where the session's adb commands go: real processes in the program, a
// scripted phone in tests.
class CommandRunner {
public:
    virtual ~CommandRunner() = default;

    // Runs `program` with exactly `arguments` and standard input from the null
    // device. A command still running after `timeout` is stopped. Never
    // fails: every way of not finishing is an AdbRun status.
    virtual QCoro::Task<AdbRun> run(const QString& program, const QStringList& arguments,
                                    std::chrono::milliseconds timeout) = 0;

    // Starts `program` so that it outlives us and is never cancelled; its
    // standard output and error go to the open file `outputDescriptor`, which
    // the caller made and keeps (-1: the null device). Returns why it could
    // not be started, or an empty string.
    virtual QString startDetached(const QString& program, const QStringList& arguments,
                                  int outputDescriptor) = 0;

    // Stops every command being waited for; each ends as Cancelled.
    virtual void cancel() = 0;
};

} // namespace ostrel
