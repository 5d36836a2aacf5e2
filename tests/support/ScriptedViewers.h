// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/view/ViewerTrials.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

namespace ostrel::test {

// Viewers and desktop tools as a script says they are: which are on the
// search path, which fail at once, and what the desktop's query answers.
// Records every program run, by its name, with its arguments.
class ScriptedViewers : public ViewerTrials {
public:
    static inline const QString Folder = QStringLiteral("/scripted/bin");

    QSet<QString> onPath;             // names found on the search path
    QHash<QString, QString> failures; // name -> why it fails within its trial
    QString vncHandler;               // xdg-mime's answer; empty: no handler
    QList<QStringList> calls;         // [name, arguments...], asked and tried alike

    QString find(const QString& name) const override {
        return onPath.contains(name) ? Folder + u'/' + name : QString();
    }
    QCoro::Task<AdbRun> ask(QString program, QStringList arguments) override;
    QCoro::Task<ViewerTrial> tryViewer(QString program, QStringList arguments) override;
    void cancel() override {}

    static QString nameOf(const QString& program) { return program.section(u'/', -1); }
};

} // namespace ostrel::test
