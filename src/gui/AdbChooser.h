#pragma once

#include "core/process/AdbVersion.h"
#include "gui/WindowContext.h"

#include <QCoro/QCoroFwd>
#include <QObject>
#include <QString>

#include <functional>

namespace ostrel {

class CommandRunner;

// Which adb every command runs: the user's choice from the adb button, and
// the line that tells which one is in effect and what version it is.
class AdbChooser : public QObject {
    Q_OBJECT

public:
    AdbChooser(WindowContext context, CommandRunner& runner, QObject* parent = nullptr);

    // The adb that the next command runs; empty when none is known.
    QString adbInEffect() const;

    void onAdbButtonClicked();
    // The adb in effect and its version, for the adb button's tooltip and the
    // About box: `show` gets the text at once, and again once adb has answered.
    void describeAdb(const std::function<void(const QString&)>& show);

private:
    QString adbInEffectDescription() const;
    QCoro::Task<void> describeAdbVersionWhenAnswered(QString adb, QString inEffect,
                                                     std::function<void(const QString&)> show);

    WindowContext context_;
    AdbVersionProbe adbVersions_;
    // The adb the user chose in this run: it holds even when it could not be stored.
    QString chosenAdb_;
};

} // namespace ostrel
