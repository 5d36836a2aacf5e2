// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/server/AdbServerAddress.h"
#include "core/session/PortForwarder.h"

#include <optional>

namespace ostrel {

// What a session finds on the computer it runs on. The program describes its
// own (adb's server as the process environment names it, the real ports);
// tests describe a computer of their own.
struct SessionEnvironment {
    // Where adb's server listens, as adb reads it from the environment;
    // nothing when that names no server reachable over TCP.
    std::optional<AdbServerAddress> adbServer;
    // Whether nothing on this computer listens on a local port.
    LocalPortProbe localPortFree = localPortIsFree;
    // Whether the phones' list follows adb's server between flows once asked
    // to; without it, only the flows' own listings fill it.
    bool followDevices = true;
};

} // namespace ostrel
