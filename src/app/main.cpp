#include "cli/CommandLine.h"

// The command line alone: the window is a program of its own, started from
// here when no verb is named, so that scripts never load a display's libraries.
int main(int argc, char* argv[]) {
    return ostrel::cli::runCommandLine(argc, argv);
}
