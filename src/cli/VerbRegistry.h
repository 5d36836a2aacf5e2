// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Every verb of the command line, in the order --help lists them. A verb is
// a class of its own under verbs/, with its spelling and its run; the list
// below is all that names them together, so a new verb is its class and one
// line here (the manual page and README are held to this list by a test).
// Nothing here may use Qt: the launcher names the verbs from it.

#include "cli/VerbSpelling.h"
#include "cli/verbs/Connect.h"
#include "cli/verbs/Devices.h"
#include "cli/verbs/Disconnect.h"
#include "cli/verbs/Forward.h"
#include "cli/verbs/Start.h"
#include "cli/verbs/Stop.h"
#include "cli/verbs/View.h"
#include "cli/verbs/Watch.h"

#include <array>
#include <string>

namespace ostrel::cli {

template <typename... Verb> struct VerbList {
    static constexpr std::array<VerbSpelling, sizeof...(Verb)> spellings{Verb::spelling...};
};

// One line a verb.
// clang-format off
using RegisteredVerbs = VerbList<
    verbs::Devices,
    verbs::Start,
    verbs::Stop,
    verbs::Forward,
    verbs::Disconnect,
    verbs::Watch,
    verbs::Connect,
    verbs::View>;
// clang-format on

inline constexpr const auto& VerbSpellings = RegisteredVerbs::spellings;

// "--devices, --start, …": the verbs that need no display, as messages name them.
inline std::string verbOptionList() {
    std::string list;
    for (const VerbSpelling& verb : VerbSpellings) {
        if (verb.needsDisplay)
            continue;
        if (!list.empty())
            list += ", ";
        list += "--";
        list += verb.name;
    }
    return list;
}

} // namespace ostrel::cli
