// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/VerbSpelling.h"

namespace ostrel::cli::verbs {

// `--devices`: the serials of the usable phones alone on standard output, for
// scripts to read.
struct Devices {
    static constexpr VerbSpelling spelling{
        .name = "devices", .description = "Print the serial of each usable device, one a line."};
    static int run(const VerbContext& context);
};

} // namespace ostrel::cli::verbs
