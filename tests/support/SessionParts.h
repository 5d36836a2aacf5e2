// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Waits.h"
#include "core/process/CommandRunner.h"
#include "core/session/AdbCommands.h"
#include "core/session/DeviceDiscovery.h"
#include "core/session/FlowControl.h"
#include "core/session/ServerLifecycle.h"
#include "core/session/SessionConsole.h"
#include "core/settings/AdbLookup.h"
#include "support/SessionFixture.h"

namespace ostrel::test {

// The parts a session is made of, put together as the session does it but
// without one, for the tests of a single part: adb's commands on `runner`,
// the phones' listing and the VNC server's start and stop, all speaking
// through one console that `seen` records.
struct SessionParts {
    SessionParts(CommandRunner& runner, AdbLookup adb, Waits waits = fastWaits());
    SessionParts(const SessionParts&) = delete;
    SessionParts& operator=(const SessionParts&) = delete;

    Waits waits;
    SessionConsole console;
    FlowControl flow;
    AdbCommands commands;
    DeviceDiscovery discovery;
    ServerLifecycle lifecycle;
    SessionRecorder seen;
};

} // namespace ostrel::test
