// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/session/PhoneButtons.h"

#include "core/device/SerialArgument.h"
#include "core/process/CommandRunner.h"
#include "core/session/AdbCommands.h"
#include "core/text/VisibleText.h"

#include <QCoro/QCoroTask>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

namespace {

// adb's first words on standard error, else on standard output (where a
// shell command's own complaint may go), as one line.
QString adbComplaint(const AdbRun& run) {
    for (const QByteArray& output : {run.standardError, run.standardOutput}) {
        const QString first = QString::fromUtf8(output.trimmed().split('\n').first()).trimmed();
        if (!first.isEmpty())
            return visibleText(first);
    }
    return u"adb ended with status %1"_s.arg(run.exitCode);
}

// The runner's own reason names the adb it ran, which is a path from outside.
QString whyNotPressed(const AdbRun& run) {
    if (run.finished())
        return adbComplaint(run);
    const QString reason = visibleText(run.errorText.simplified());
    return reason.isEmpty() ? u"adb did not finish"_s : reason;
}

} // namespace

int keyEventCode(PhoneButton button) {
    switch (button) {
    case PhoneButton::Back:
        return 4;
    case PhoneButton::Home:
        return 3;
    case PhoneButton::Recents:
        return 187;
    case PhoneButton::Power:
        return 26;
    case PhoneButton::VolumeUp:
        return 24;
    case PhoneButton::VolumeDown:
        return 25;
    }
    return 0;
}

QString phoneButtonName(PhoneButton button) {
    switch (button) {
    case PhoneButton::Back:
        return u"Back"_s;
    case PhoneButton::Home:
        return u"Home"_s;
    case PhoneButton::Recents:
        return u"Recents"_s;
    case PhoneButton::Power:
        return u"Power"_s;
    case PhoneButton::VolumeUp:
        return u"Volume up"_s;
    case PhoneButton::VolumeDown:
        return u"Volume down"_s;
    }
    return {};
}

QString pressFailureLine(PhoneButton button, const AdbRun& run) {
    if (run.succeeded() || run.status == AdbRun::Status::Cancelled)
        return {};
    return u"%1 did not reach the phone: %2."_s.arg(phoneButtonName(button), whyNotPressed(run));
}

PhoneButtons::PhoneButtons(CommandRunner& runner, AdbLookup adb, QString serial,
                           std::chrono::milliseconds limit, QObject* parent)
    : QObject(parent), runner_(runner), adb_(std::move(adb)), serial_(std::move(serial)),
      limit_(limit) {}

void PhoneButtons::press(PhoneButton button) {
    queued_.append(button);
    if (!running_)
        pressNext();
}

void PhoneButtons::pressNext() {
    if (queued_.isEmpty())
        return;
    const PhoneButton button = queued_.takeFirst();
    AdbRun refused;
    refused.status = AdbRun::Status::FailedToStart;
    refused.errorText = unnameableSerial(serial_);
    const QString program = adb_.path();
    if (program.isEmpty()) {
        refused.status = AdbRun::Status::NoExecutable;
        refused.errorText = u"no adb executable was found"_s;
    }
    if (program.isEmpty() || !refused.errorText.isEmpty()) {
        finish(button, refused);
        return;
    }
    running_ = true;
    const QStringList arguments = AdbCommands::forDevice(
        serial_, {u"shell"_s, u"input"_s, u"keyevent"_s, QString::number(keyEventCode(button))});
    runPress(this, runner_, program, arguments, limit_, button);
}

QCoro::Task<void> PhoneButtons::runPress(QPointer<PhoneButtons> buttons, CommandRunner& runner,
                                         QString program, QStringList arguments,
                                         std::chrono::milliseconds limit, PhoneButton button) {
    const AdbRun run = co_await runner.run(program, arguments, limit);
    if (buttons)
        buttons->finish(button, run);
}

void PhoneButtons::finish(PhoneButton button, const AdbRun& run) {
    running_ = false;
    const QString line = pressFailureLine(button, run);
    if (!line.isEmpty() || run.status == AdbRun::Status::Cancelled)
        queued_.clear();
    if (!line.isEmpty())
        Q_EMIT failed(line);
    pressNext();
}

} // namespace ostrel
