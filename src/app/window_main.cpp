#include "gui/WindowProgram.h"

// The window, started by `ostrel-dravik` with the arguments it was given.
int main(int argc, char* argv[]) {
    return ostrel::runWindowProgram(argc, argv);
}
