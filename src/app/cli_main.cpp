#include "cli/CommandLine.h"

// The command line, started by `ostrel-dravik` with the arguments it was given.
int main(int argc, char* argv[]) {
    return ostrel::cli::runCommandLine(argc, argv);
}
