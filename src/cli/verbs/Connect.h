// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/VerbSpelling.h"

namespace ostrel::cli::verbs {

// `--connect`: View without the viewer; prints the addresses instead of opening one.
struct Connect {
    static constexpr VerbSpelling spelling{
        .name = "connect",
        .description =
            "Start the server if needed, forward a pair of local ports of the device's own "
            "and wait for its greeting; print vnc://localhost:PORT and the web address, "
            "opening nothing.",
        .takesPortOption = true};
    static int run(const VerbContext& context);
};

} // namespace ostrel::cli::verbs
