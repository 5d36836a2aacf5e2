// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "launch/HandOverTrail.h"

namespace ostrel::cli {

// The program as people and scripts start it: runs the one verb the
// arguments name, or prints the help, the version or a usage error, and
// returns the exit status. Without a verb it hands the process over to the
// window program instead; `handedTo` names the programs the process was
// handed over to on its way here.
int runCommandLine(int argc, char* argv[], const launch::HandOverTrail& handedTo);

} // namespace ostrel::cli
