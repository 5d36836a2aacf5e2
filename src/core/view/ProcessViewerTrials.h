// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Waits.h"
#include "core/process/ProcessRunner.h"
#include "core/view/ViewerTrials.h"

#include <QStringList>

#include <chrono>

namespace ostrel {

// Real viewers, found on a search path and started as child processes. Each
// viewer is started by a small shell that waits for it through its trial
// only: the viewer outlives the shell, and so this program, and a viewer
// still open when the program ends is never taken down with it.
class ProcessViewerTrials : public ViewerTrials {
public:
    // `searchPath`: the folders to look in, in order (PATH's, usually).
    explicit ProcessViewerTrials(QStringList searchPath,
                                 std::chrono::milliseconds trialLimit = ViewerTrialLimit);

    // The folders of PATH in this program's environment.
    static QStringList systemSearchPath();

    QString find(const QString& name) const override;
    QCoro::Task<AdbRun> ask(QString program, QStringList arguments) override;
    QCoro::Task<ViewerTrial> tryViewer(QString program, QStringList arguments) override;
    void cancel() override { runner_.cancel(); }

private:
    QStringList searchPath_;
    std::chrono::milliseconds trialLimit_;
    ProcessRunner runner_;
};

} // namespace ostrel
