// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/ScriptedViewers.h"

#include <QCoro/QCoroTask>

namespace ostrel::test {

QCoro::Task<AdbRun> ScriptedViewers::ask(QString program, QStringList arguments) {
    calls.append(QStringList{nameOf(program)} + arguments);
    AdbRun run;
    run.status = AdbRun::Status::Finished;
    run.exitCode = vncHandler.isEmpty() ? 1 : 0;
    run.standardOutput = vncHandler.isEmpty() ? QByteArray() : (vncHandler + u'\n').toUtf8();
    co_return run;
}

QCoro::Task<ViewerTrial> ScriptedViewers::tryViewer(QString program, QStringList arguments) {
    const QString name = nameOf(program);
    calls.append(QStringList{name} + arguments);
    ViewerTrial trial;
    if (failures.contains(name))
        trial.why = failures.value(name);
    else
        trial.outcome = ViewerTrial::Outcome::Works;
    co_return trial;
}

} // namespace ostrel::test
