// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcess>
#include <QString>

// How a run of the command-line program ended, as a test reads it.
struct CliRun {
    bool finished = false;
    int exitCode = -1;
    QString out;
    QString err;

    QString story() const {
        return QStringLiteral("exit %1\n--- stdout\n%2--- stderr\n%3")
            .arg(finished ? QString::number(exitCode) : QStringLiteral("none"), out, err);
    }
};

// Waits up to `limitMs` for a started program; one that has not ended by
// then is killed and counts as unfinished.
inline CliRun collectRun(QProcess& process, int limitMs) {
    CliRun run;
    if (!process.waitForFinished(limitMs)) {
        process.kill();
        process.waitForFinished(5000);
    } else {
        run.finished = process.exitStatus() == QProcess::NormalExit;
    }
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}
