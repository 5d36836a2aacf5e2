// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace ostrel::cli {

struct VerbContext;

// Runs the verb the context's invocation names, in the event loop until it
// ends, and gives the exit status.
int runVerb(const VerbContext& context);

} // namespace ostrel::cli
