// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/process/AdbRun.h"
#include "core/settings/AdbLookup.h"

#include <QCoro/QCoroFwd>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <chrono>

namespace ostrel {

class CommandRunner;

// The phone's own buttons, which the screen server cannot press.
enum class PhoneButton { Back, Home, Recents, Power, VolumeUp, VolumeDown };

// Android's key code for `button`, as `input keyevent` takes it.
int keyEventCode(PhoneButton button);
// The button's name as the window shows it.
QString phoneButtonName(PhoneButton button);

// Presses the phone's buttons through adb, one after the other in the order
// asked, each within `limit`. Success is silent; a failure says one line and
// drops the presses queued behind it, which would only fail the same way,
// late.
class PhoneButtons : public QObject {
    Q_OBJECT

public:
    PhoneButtons(CommandRunner& runner, AdbLookup adb, QString serial,
                 std::chrono::milliseconds limit, QObject* parent = nullptr);

    void press(PhoneButton button);

Q_SIGNALS:
    // A press did not reach the phone: `line` says why, ready to show.
    void failed(const QString& line);

private:
    void pressNext();
    void finish(PhoneButton button, const AdbRun& run);
    // Touches the buttons only while they are still there.
    static QCoro::Task<void> runPress(QPointer<PhoneButtons> buttons, CommandRunner& runner,
                                      QString program, QStringList arguments,
                                      std::chrono::milliseconds limit, PhoneButton button);

    CommandRunner& runner_;
    AdbLookup adb_;
    QString serial_;
    std::chrono::milliseconds limit_;
    QList<PhoneButton> queued_;
    bool running_ = false;
};

// Why a press did not reach the phone, as one line of plain text; empty when
// it did (or was cancelled, which the one who cancelled knows of).
QString pressFailureLine(PhoneButton button, const AdbRun& run);

} // namespace ostrel
