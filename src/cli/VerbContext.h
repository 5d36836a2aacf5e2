// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/Invocation.h"

#include <QCoro/QCoroFwd>

#include <functional>

namespace ostrel {
class BridgeSession;
class BuiltInViewer;
class InterruptWatcher;
} // namespace ostrel

namespace ostrel::cli {

class CommandLineOutput;

// What a verb runs with: the session, the output and the interrupts, set up
// and followed before the verb starts, and the arguments as read.
struct VerbContext {
    BridgeSession& session;
    CommandLineOutput& output;
    InterruptWatcher& interrupts;
    const Invocation& invocation;
    // The program's own viewer windows, where the window program runs the
    // verb; null in the command line program, which opens none.
    BuiltInViewer* viewer = nullptr;

    // A signal's status comes first; then an output that could not be
    // written loses what was asked for, whatever the verb reached.
    int exitStatus(int status) const;
    // Ends the event loop with the exit status for `status`.
    void finish(int status) const;
    // A script acts on the phone it names, or on the only one attached.
    void aimAtNamedPhone() const;
    // Runs `flow` in the event loop until it ends; the exit status.
    int runFlow(QCoro::Task<int> (*flow)(const VerbContext&)) const;
    // Runs one of the session's flows on the phone the script names; the
    // exit status says whether it reached the state it was asked for.
    int runPhoneFlow(QCoro::Task<bool> (BridgeSession::*flow)()) const;

private:
    int runUntilDone(const std::function<QCoro::Task<int>()>& start) const;
};

inline int verdict(bool reached) {
    return reached ? StateReached : StateNotReached;
}

} // namespace ostrel::cli
