// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The programs a process was already handed over to on its way here, named in
// its environment for the next program to read. A file beside the launcher
// that is a copy of another of ours (a damaged install, a hand-made folder)
// would start the programs over again for ever: a program that finds the one
// it is to hand over to named already refuses. Every program takes the
// marker out of its environment on arrival, so that nothing it starts, adb
// above all, inherits it. Nothing here may use Qt.

#include <string>
#include <vector>

namespace ostrel::launch {

inline constexpr char HandOverVariable[] = "OSTREL_DRAVIK_HANDED_OVER";

class HandOverTrail {
public:
    // Reads the marker, and removes it from this process's environment.
    static HandOverTrail takeFromEnvironment();

    bool contains(const std::string& program) const;
    // The marker for the program handed over to next.
    std::string markerWith(const std::string& program) const;

private:
    std::vector<std::string> programs_;
};

} // namespace ostrel::launch
