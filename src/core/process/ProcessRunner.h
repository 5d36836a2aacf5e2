// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/process/CommandRunner.h"

#include <QList>
#include <QObject>
#include <QPointer>

namespace ostrel {

class AdbJob;

// Runs adb commands as real child processes.
class ProcessRunner : public QObject, public CommandRunner {
    Q_OBJECT

public:
    using QObject::QObject;
    ~ProcessRunner() override;

    QCoro::Task<AdbRun> run(const QString& program, const QStringList& arguments,
                            std::chrono::milliseconds timeout) override;
    QString startDetached(const QString& program, const QStringList& arguments,
                          int outputDescriptor) override;
    void cancel() override;

private:
    // `sink` is where both output channels go; empty: the null device.
    QString startDetachedTo(const QString& program, const QStringList& arguments,
                            const QString& sink);

    QList<QPointer<AdbJob>> jobs_;
};

} // namespace ostrel
