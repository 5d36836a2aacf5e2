// SPDX-License-Identifier: GPL-3.0-or-later
#include "launch/HandOverTrail.h"

#include <algorithm>
#include <cstdlib>

namespace ostrel::launch {

namespace {

// No program's name holds it.
constexpr char Separator = ':';

} // namespace

HandOverTrail HandOverTrail::takeFromEnvironment() {
    HandOverTrail trail;
    const char* marker = std::getenv(HandOverVariable);
    std::string rest = marker != nullptr ? marker : "";
    ::unsetenv(HandOverVariable);
    while (!rest.empty()) {
        const std::size_t end = rest.find(Separator);
        const std::string program = rest.substr(0, end);
        if (!program.empty())
            trail.programs_.push_back(program);
        rest = end == std::string::npos ? std::string() : rest.substr(end + 1);
    }
    return trail;
}

bool HandOverTrail::contains(const std::string& program) const {
    return std::find(programs_.begin(), programs_.end(), program) != programs_.end();
}

std::string HandOverTrail::markerWith(const std::string& program) const {
    std::string marker;
    for (const std::string& handedTo : programs_)
        marker += handedTo + Separator;
    return marker + program;
}

} // namespace ostrel::launch
