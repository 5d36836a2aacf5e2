// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/process/AdbRun.h"
#include "core/process/CommandRunner.h"
#include "core/session/FlowOutcome.h"
#include "core/settings/AdbLookup.h"

#include <QCoro/QCoroFwd>
#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>

namespace ostrel {

class FlowControl;
class SessionConsole;

// Whether a command's output is shown in the console as it comes, or only
// read by the flow that ran it.
enum class Echo { Shown, Quiet };

// Runs adb for the session's flows: every command for a phone names it, its
// output is shown unless the flow reads it quietly, and a command that did not
// run to its end, or found its phone gone, ends the flow after saying why. A
// serial adb cannot be given whole gets no command at all.
class AdbCommands : public QObject {
    Q_OBJECT

public:
    // `adb` says which adb to run, asked anew for every command.
    AdbCommands(CommandRunner& runner, AdbLookup adb, std::chrono::milliseconds timeout,
                SessionConsole& console, const FlowControl& flow, QObject* parent = nullptr);

    // A command that outlives the program; its output goes to the open file
    // `outputDescriptor`, which stays the caller's (-1: nowhere).
    AdbRun launchDetachedAdbProcess(const QStringList& arguments, int outputDescriptor = -1);

    // A command for the phone `serial`, its output shown or not as `echo` says. Goes on only when
    // adb ran to its end and reached the phone; a phone that has gone ends the flow with adb's own
    // words.
    QCoro::Task<Step<AdbRun>> runOnDevice(QString serial, Echo echo, QStringList arguments);
    // A command for adb's server itself, such as start-server; the caller
    // judges its exit status.
    QCoro::Task<Step<AdbRun>> runOnServer(Echo echo, QStringList arguments);
    // A question only adb's server answers, such as the device listing. Goes
    // on only when adb answered (ran to its end with status 0); otherwise
    // adb's own words and the setup to check end the flow, since a server
    // adb could not reach is no fault of the phones.
    QCoro::Task<Step<AdbRun>> askServer(Echo echo, QStringList arguments);

    // Shows a command's output in the console.
    void writeStdOut(const QString& text);

    // `arguments` for the phone `serial`. A serial adb cannot take is still
    // put in: every command is refused with it, in one place.
    static QStringList forDevice(const QString& serial, const QStringList& arguments);

Q_SIGNALS:
    // adb ran a command (it may have started adb's server on the way).
    void commandRan();

private:
    // Runs a command, shows its output if `echo` says so, then says why it did not
    // finish, if it did not.
    QCoro::Task<AdbRun> runAndReport(Echo echo, QStringList arguments);
    bool reportIfNotFinished(const AdbRun& run);
    std::optional<AdbRun> refuseUnnameableSerial(const QStringList& arguments);
    void sayServerUnanswered(const QStringList& arguments, const AdbRun& run);
    void show(const AdbRun& run, Echo echo);

    CommandRunner& runner_;
    AdbLookup adb_;
    std::chrono::milliseconds timeout_;
    SessionConsole& console_;
    const FlowControl& flow_;
};

} // namespace ostrel
