// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/process/AdbRun.h"

#include <QCoro/QCoroFwd>
#include <QString>
#include <QStringList>

namespace ostrel {

// What became of a viewer given its first seconds.
struct ViewerTrial {
    enum class Outcome {
        Works,  // still running at the end of its trial, or it ended well
        Failed, // it could not be started, or ended with a failure within its trial
        Cancelled,
    };
    Outcome outcome = Outcome::Failed;
    QString why; // Failed: the exit status or the reason it did not start (outside text)
};

// The programs View may run to show a phone's screen. The program has its
// own; tests script them.
class ViewerTrials {
public:
    virtual ~ViewerTrials() = default;

    // The executable `name` on the search path; empty when there is none.
    virtual QString find(const QString& name) const = 0;
    // Runs a program that answers and ends, such as a desktop's query.
    virtual QCoro::Task<AdbRun> ask(QString program, QStringList arguments) = 0;
    // Starts a viewer, which then lives on by itself, and tells whether it
    // failed within its trial.
    virtual QCoro::Task<ViewerTrial> tryViewer(QString program, QStringList arguments) = 0;
    // Ends every trial and question at once; viewers already started go on.
    virtual void cancel() = 0;
};

} // namespace ostrel
