// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How the program's three executables find each other. `ostrel-dravik`, which
// people, scripts and the desktop start, links nothing but the C++ library: it
// hands the process over, arguments unchanged, to the window program when it
// is started with no argument and to the command line program otherwise, which
// in turn hands over to the window when it finds Qt's own options alone. So a
// verb never loads a display's libraries, and the window never waits for Qt
// to be loaded twice. Installed on Linux the two programs lie in a folder of
// their own, lib/ostrel-dravik beside bin; in the build tree and in the macOS
// bundle all three lie side by side. Nothing here may use Qt.

#include "launch/HandOverTrail.h"

#include <string>
#include <vector>

namespace ostrel::launch {

inline constexpr char CommandLineProgram[] = "ostrel-dravik-cli";
inline constexpr char WindowProgram[] = "ostrel-dravik-window";
inline constexpr char PrivateFolder[] = "lib/ostrel-dravik";

// Where `program` may lie, in the order to try, for an executable of ours in
// `ownFolder`.
std::vector<std::string> programCandidates(const std::string& ownFolder, const char* program);

// The folder of the `ostrel-dravik` that was started, as seen from the folder
// of any of the three: what "beside the program" means to all of them.
std::string launcherFolder(const std::string& ownFolder);

// Hands this process over to `program`, with `argv` unchanged, and `trail`
// with `program` added for it to read. Returns only when it cannot, with the
// exit status; the line that says why is printed. `program` is refused when
// the trail names it already, or when it is this very executable under
// another name: either would start the same programs again for ever.
int handOver(const char* program, char* argv[], const HandOverTrail& trail);

// The same for the window program, after making sure it has a display to
// open on: on Linux an X or Wayland display, or a platform named by hand
// (`platformNamed`: Qt's -platform was given). Without one, the line that
// says so names `verbs`, which work without it.
int openWindow(char* argv[], bool platformNamed, const HandOverTrail& trail,
               const std::string& verbs);
// The same for a verb the window program runs; without a display,
// `noDisplayLine` says so.
int openWindowFor(char* argv[], bool platformNamed, const HandOverTrail& trail,
                  const std::string& noDisplayLine);

} // namespace ostrel::launch
