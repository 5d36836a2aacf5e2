// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/VerbSpelling.h"

namespace ostrel::cli::verbs {

// `--forward PORT`: the window's USB Connect, on the phone the script names.
struct Forward {
    static constexpr VerbSpelling spelling{.name = "forward",
                                           .value = VerbValue::Port,
                                           .description =
                                               "Forward localhost:PORT to the device's VNC port "
                                               "and localhost:PORT-100 to its web port."};
    static int run(const VerbContext& context);
};

} // namespace ostrel::cli::verbs
