// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "launch/HandOverTrail.h"

#include <QString>

namespace ostrel {
class BuiltInViewer;
}

namespace ostrel::cli {

struct Invocation;

// The program as people and scripts start it: runs the one verb the
// arguments name, or prints the help, the version or a usage error, and
// returns the exit status. Without a verb it hands the process over to the
// window program instead; `handedTo` names the programs the process was
// handed over to on its way here.
int runCommandLine(int argc, char* argv[], const launch::HandOverTrail& handedTo);

// Runs `invocation`'s verb in the application that exists, to its exit
// status. `viewer` is the program's own viewer windows, where there are any:
// the verbs that need a display are run by the window program, with them.
int runInvocation(const Invocation& invocation, BuiltInViewer* viewer = nullptr);

// Whether `verb` (a name from cli/VerbRegistry.h) shows a window, and so is
// the window program's to run.
bool verbNeedsDisplay(const QString& verb);

} // namespace ostrel::cli
