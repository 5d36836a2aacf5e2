// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/process/AdbVersion.h"
#include "core/settings/AdbLookup.h"
#include "gui/WindowContext.h"

#include <QCoro/QCoroFwd>
#include <QObject>
#include <QString>

#include <functional>

namespace ostrel {

class CommandRunner;
class SessionSettings;

// Which adb every command runs: the user's choice from the adb button, and
// the line that tells which one is in effect and what version it is.
class AdbChooser : public QObject {
    Q_OBJECT

public:
    // The search for an adb, when none is chosen, starts in `launcherFolder`.
    AdbChooser(WindowContext context, CommandRunner& runner, SessionSettings& settings,
               QString launcherFolder, QObject* parent = nullptr);

    // The adb that the next command runs; empty when none is known.
    QString adbInEffect() const { return lookup_.path(); }
    // Which adb the window's commands run, asked anew each time.
    const AdbLookup& lookup() const { return lookup_; }

    void onAdbButtonClicked();
    // The adb in effect and its version, for the adb button's tooltip and the
    // About box: `show` gets the text at once, and again once adb has answered.
    void describeAdb(const std::function<void(const QString&)>& show);

private:
    QString adbInEffectDescription() const;
    QCoro::Task<void> describeAdbVersionWhenAnswered(QString adb, QString inEffect,
                                                     std::function<void(const QString&)> show);

    QString chosenAdb() const;

    WindowContext context_;
    SessionSettings& settings_;
    AdbVersionProbe adbVersions_;
    // The adb the user chose in this run: it holds even when it could not be stored.
    QString chosenAdb_;
    AdbLookup lookup_;
};

} // namespace ostrel
