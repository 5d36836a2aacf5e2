// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/VerbSpelling.h"

namespace ostrel::cli::verbs {

// `--watch`: follows the phones until stopped (cli/WatchVerb.h).
struct Watch {
    static constexpr VerbSpelling spelling{
        .name = "watch",
        .description = "Print each device as SERIAL<TAB>STATE, then a line for each change "
                       "(STATE \"gone\" for one that left), until interrupted. Starts adb's "
                       "server when none runs."};
    static int run(const VerbContext& context);
};

} // namespace ostrel::cli::verbs
