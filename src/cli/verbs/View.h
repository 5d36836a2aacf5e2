// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/VerbSpelling.h"

namespace ostrel::cli::verbs {

// `--view`: View, in the program's own viewer window and nothing else.
struct View {
    static constexpr VerbSpelling spelling{
        .name = "view",
        .description =
            "Do what View does (start the server if needed, forward a pair of local ports of "
            "the device's own, wait for its greeting) and show the device's screen in the "
            "program's own viewer window, without the main window; end when that window is "
            "closed. Needs a display.",
        .takesPortOption = true,
        .needsDisplay = true};
    static int run(const VerbContext& context);
};

} // namespace ostrel::cli::verbs
