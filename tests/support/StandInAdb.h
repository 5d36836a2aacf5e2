// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace ostrel::test {

// The argument lists a stand-in adb logged, one invocation a line, each
// argument followed by the unit separator 0x1f.
QList<QStringList> readArgumentLog(const QString& logPath);

// A stand-in adb: a shell script that logs its argument vector and does what
// the test gave it. Everything it is told lives in files beside it, so a test
// may change it between runs.
class StandInAdb {
public:
    explicit StandInAdb(const QString& directory);

    QString path() const { return path_; }
    void setStandardOutput(const QByteArray& bytes);
    void setStandardError(const QByteArray& bytes);
    void setExitCode(int code);
    void setSleepSeconds(double seconds);
    // Copies its standard input to its standard output before anything else.
    void setReadsStandardInput();
    // Dies of a segmentation fault once it has printed its output.
    void setCrashes(bool crashes);
    // Leaves a `sleep` of its own behind in the background, its pid in
    // grandchildPidFile(), to show whether stopping adb stops what adb started.
    void setStartsGrandchild();
    QString grandchildPidFile() const;
    // Every invocation so far, each as its exact argument list.
    QList<QStringList> invocations() const;
    // How many runs have got to their end.
    int finishedRuns() const;

private:
    void writeFile(const QString& name, const QByteArray& bytes) const;

    QString directory_;
    QString path_;
};

} // namespace ostrel::test
