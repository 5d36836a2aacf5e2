#pragma once

namespace ostrel::cli {

// True when the arguments name one of the command line's verbs.
bool wantsCommandLine(int argc, char* argv[]);

// Runs the one verb the arguments name and returns the exit status.
int runCommandLine(int argc, char* argv[]);

} // namespace ostrel::cli
