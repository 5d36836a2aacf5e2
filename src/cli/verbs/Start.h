// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/VerbSpelling.h"

namespace ostrel::cli::verbs {

// `--start`: the window's Start, on the phone the script names.
struct Start {
    static constexpr VerbSpelling spelling{
        .name = "start", .description = "Start the server unless it runs already."};
    static int run(const VerbContext& context);
};

} // namespace ostrel::cli::verbs
