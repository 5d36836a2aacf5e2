// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/VerbSpelling.h"

namespace ostrel::cli::verbs {

// `--stop`: the window's Stop, on the phone the script names.
struct Stop {
    static constexpr VerbSpelling spelling{.name = "stop",
                                           .description = "Stop the server if it runs."};
    static int run(const VerbContext& context);
};

} // namespace ostrel::cli::verbs
