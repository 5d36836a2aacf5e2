// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace ostrel {

// The desktop program: the window, its controller and the event loop.
int runWindowProgram(int argc, char* argv[]);

} // namespace ostrel
