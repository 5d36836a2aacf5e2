// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/WindowProgram.h"
#include "launch/HandOverTrail.h"

// The window, started by `ostrel-dravik` with the arguments it was given.
int main(int argc, char* argv[]) {
    // The window hands over to nothing; the marker only must not reach what
    // it starts.
    ostrel::launch::HandOverTrail::takeFromEnvironment();
    return ostrel::runWindowProgram(argc, argv);
}
