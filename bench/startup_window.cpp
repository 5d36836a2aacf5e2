// SPDX-License-Identifier: GPL-3.0-or-later
// The program's own window start-up, stamped at its first frame; run by
// bench/startup_frames.py.
#include "FirstFrameStamp.h"
#include "gui/WindowProgram.h"

Q_COREAPP_STARTUP_FUNCTION(installFirstFrameStamp)

int main(int argc, char* argv[]) {
    return ostrel::runWindowProgram(argc, argv);
}
