#include "cli/CommandLine.h"
#include "gui/WindowProgram.h"

int main(int argc, char* argv[]) {
    // Scripts name a verb; anything else, Qt's own options included, is the window.
    if (ostrel::cli::wantsCommandLine(argc, argv))
        return ostrel::cli::runCommandLine(argc, argv);
    return ostrel::runWindowProgram(argc, argv);
}
