#pragma once

namespace ostrel::cli {

// Hands this process over to the window program, with the arguments
// unchanged. Returns only when the window cannot open, with the exit status;
// the one line that says why has been printed. `platformNamed`: Qt's
// -platform was given, which needs no display of the usual kind.
int openWindow(char* argv[], bool platformNamed);

} // namespace ostrel::cli
