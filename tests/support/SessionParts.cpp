// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/SessionParts.h"

#include <utility>

namespace ostrel::test {

SessionParts::SessionParts(CommandRunner& runner, AdbLookup adb, Waits waits)
    : waits(waits), commands(runner, std::move(adb), waits.commandTimeout, console, flow),
      discovery(commands, console), lifecycle(commands, console, flow, this->waits),
      seen(console, &discovery) {}

} // namespace ostrel::test
