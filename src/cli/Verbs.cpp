// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Verbs.h"

#include "cli/VerbContext.h"
#include "cli/VerbRegistry.h"

#include <QString>

#include <array>

namespace ostrel::cli {

namespace {

struct VerbRun {
    std::string_view name;
    int (*run)(const VerbContext&);
};

template <typename... Verb>
constexpr std::array<VerbRun, sizeof...(Verb)> runsOf(VerbList<Verb...> /*verbs*/) {
    return {VerbRun{Verb::spelling.name, &Verb::run}...};
}

} // namespace

int runVerb(const VerbContext& context) {
    for (const VerbRun& verb : runsOf(RegisteredVerbs{})) {
        if (context.invocation.verb ==
            QLatin1StringView(verb.name.data(), static_cast<qsizetype>(verb.name.size())))
            return verb.run(context);
    }
    return StateNotReached;
}

} // namespace ostrel::cli
