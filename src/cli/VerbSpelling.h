// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How a verb is spelt on the command line and in --help. Nothing here may use
// Qt: the launcher, which loads none, names the verbs too.

#include <string_view>

namespace ostrel::cli {

// What follows the verb's name.
enum class VerbValue { None, Port };

struct VerbSpelling {
    std::string_view name; // without its two dashes
    VerbValue value = VerbValue::None;
    std::string_view description; // its paragraph in --help
    bool takesPortOption = false; // --port may go with it
    bool needsDisplay = false;    // run by the window program, which opens windows
};

// What a verb runs with; the command line's side, on Qt.
struct VerbContext;

} // namespace ostrel::cli
