// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/verbs/Forward.h"

#include "cli/VerbContext.h"
#include "core/session/BridgeSession.h"

#include <QCoro/QCoroTask>

namespace ostrel::cli::verbs {

namespace {

QCoro::Task<int> forwardPorts(const VerbContext& context) {
    context.aimAtNamedPhone();
    // The verb's PORT is required: the arguments were read only with one.
    const bool forwarded = co_await context.session.usbConnect(*context.invocation.port);
    co_return verdict(forwarded);
}

} // namespace

int Forward::run(const VerbContext& context) {
    return context.runFlow(forwardPorts);
}

} // namespace ostrel::cli::verbs
