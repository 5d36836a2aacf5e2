// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/view/ProcessViewerTrials.h"

#include "core/process/SearchFolders.h"

#include <QCoro/QCoroTask>
#include <QDir>
#include <QFileInfo>
#include <QProcessEnvironment>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

namespace {

// Runs "$@" in the background with nothing of ours open, and leaves with its
// exit status if it ends within $1 seconds, or with 0 once they have passed.
// The timer signals the shell, which a trap turns into that 0; the viewer is
// left running, a child of nobody of ours.
const QString TrialScript = uR"(limit=$1; shift
trap 'exit 0' USR1
"$@" </dev/null >/dev/null 2>&1 &
viewer=$!
(sleep "$limit"; kill -USR1 $$) </dev/null >/dev/null 2>&1 &
timer=$!
wait "$viewer"
status=$?
kill "$timer" 2>/dev/null
exit "$status")"_s;

QString secondsText(std::chrono::milliseconds limit) {
    return QString::number(static_cast<double>(limit.count()) / 1000.0, 'f', 3);
}

} // namespace

ProcessViewerTrials::ProcessViewerTrials(QStringList searchPath,
                                         std::chrono::milliseconds trialLimit)
    : searchPath_(std::move(searchPath)), trialLimit_(trialLimit) {}

QStringList ProcessViewerTrials::systemSearchPath() {
    return QProcessEnvironment::systemEnvironment().value(u"PATH"_s).split(QDir::listSeparator(),
                                                                           Qt::SkipEmptyParts);
}

// PATH is the user's, and may name anything: only an executable file counts,
// and only in a folder named in full, so that where the program was started
// from never decides what it runs.
QString ProcessViewerTrials::find(const QString& name) const {
    for (const QString& folder : searchPath_) {
        if (!isNamedInFull(folder))
            continue;
        const QFileInfo candidate(QDir(folder), name);
        if (candidate.isFile() && candidate.isExecutable())
            return candidate.absoluteFilePath();
    }
    return {};
}

QCoro::Task<AdbRun> ProcessViewerTrials::ask(QString program, QStringList arguments) {
    const AdbRun run = co_await runner_.run(program, arguments, trialLimit_);
    co_return run;
}

QCoro::Task<ViewerTrial> ProcessViewerTrials::tryViewer(QString program, QStringList arguments) {
    const QStringList wrapped =
        QStringList{u"-c"_s, TrialScript, u"sh"_s, secondsText(trialLimit_), program} + arguments;
    const QString shell = u"/bin/sh"_s;
    // The shell ends with its trial; the spare time is for a machine under load.
    const std::chrono::milliseconds shellLimit = trialLimit_ + ViewerTrialShellSpare;
    const AdbRun run = co_await runner_.run(shell, wrapped, shellLimit);
    ViewerTrial trial;
    switch (run.status) {
    case AdbRun::Status::Finished:
        if (run.exitCode == 0) {
            trial.outcome = ViewerTrial::Outcome::Works;
        } else if (run.exitCode == 126 || run.exitCode == 127) {
            // The shell's own words for a file it could not run.
            trial.why = u"it could not be run (exit status %1)"_s.arg(run.exitCode);
        } else {
            trial.why = u"exit status %1"_s.arg(run.exitCode);
        }
        break;
    case AdbRun::Status::Cancelled:
        trial.outcome = ViewerTrial::Outcome::Cancelled;
        break;
    default:
        trial.why = run.errorText.isEmpty() ? u"it could not be run"_s : run.errorText;
        break;
    }
    co_return trial;
}

} // namespace ostrel
