// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/verbs/Disconnect.h"

#include "cli/VerbContext.h"
#include "core/session/BridgeSession.h"

#include <QCoro/QCoroTask>

namespace ostrel::cli::verbs {

namespace {

QCoro::Task<int> freePorts(const VerbContext& context) {
    context.aimAtNamedPhone();
    const bool freed = co_await context.session.usbDisconnect();
    co_return verdict(freed);
}

} // namespace

int Disconnect::run(const VerbContext& context) {
    return context.runFlow(freePorts);
}

} // namespace ostrel::cli::verbs
