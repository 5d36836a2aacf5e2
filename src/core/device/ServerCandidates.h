// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace ostrel {

// Where the app may be installed on a phone: it has shipped under two package
// identifiers, and the first is tried first.
struct ServerCandidate {
    const char* package;
    const char* path; // the server executable in the app's files
};

inline constexpr ServerCandidate ServerCandidates[] = {
    {"com.ostrel.vncserver", "/data/data/com.ostrel.vncserver/files/ostrelvncserver"},
    {"com.halvorn.pellit", "/data/data/com.halvorn.pellit/files/ostrelvncserver"},
};

// Executable sizes of builds that no longer work with this program.
bool isRetiredServerSize(int32_t size);

} // namespace ostrel
