#include "support/SessionParts.h"

#include <utility>

namespace ostrel::test {

SessionParts::SessionParts(CommandRunner& runner, std::function<QString()> adbPath, Waits waits)
    : waits(waits), commands(runner, std::move(adbPath), waits.commandTimeout, console, flow),
      discovery(commands, console), lifecycle(commands, console, flow, this->waits),
      seen(console, &discovery) {}

} // namespace ostrel::test
