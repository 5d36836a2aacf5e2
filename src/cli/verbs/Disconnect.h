// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/VerbSpelling.h"

namespace ostrel::cli::verbs {

// `--disconnect`: the window's USB Disconnect, on the phone the script names.
struct Disconnect {
    static constexpr VerbSpelling spelling{
        .name = "disconnect",
        .description =
            "Free the ports on this computer that lead to the device; other devices' stay."};
    static int run(const VerbContext& context);
};

} // namespace ostrel::cli::verbs
