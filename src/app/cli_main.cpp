// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CommandLine.h"
#include "launch/HandOverTrail.h"

// The command line, started by `ostrel-dravik` with the arguments it was given.
int main(int argc, char* argv[]) {
    // Taken before anything is started, so that adb never inherits it.
    const ostrel::launch::HandOverTrail handedTo =
        ostrel::launch::HandOverTrail::takeFromEnvironment();
    return ostrel::cli::runCommandLine(argc, argv, handedTo);
}
