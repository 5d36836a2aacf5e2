// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/VerbRegistry.h"
#include "launch/ProgramHandOver.h"

// What people, scripts and the desktop start. It loads no Qt: the desktop's
// start, with no argument, goes straight to the window, and everything else to
// the command line, which reads the arguments. It knows the verbs' names only,
// from the command line's registry, which uses no Qt either.
int main(int argc, char* argv[]) {
    const ostrel::launch::HandOverTrail handedTo =
        ostrel::launch::HandOverTrail::takeFromEnvironment();
    if (argc <= 1)
        return ostrel::launch::openWindow(argv, false, handedTo, ostrel::cli::verbOptionList());
    return ostrel::launch::handOver(ostrel::launch::CommandLineProgram, argv, handedTo);
}
