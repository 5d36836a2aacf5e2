// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/verbs/Stop.h"

#include "cli/VerbContext.h"
#include "core/session/BridgeSession.h"

#include <QCoro/QCoroTask>

namespace ostrel::cli::verbs {

namespace {

QCoro::Task<int> stopServer(const VerbContext& context) {
    context.aimAtNamedPhone();
    const bool stopped = co_await context.session.stopServer();
    co_return verdict(stopped);
}

} // namespace

int Stop::run(const VerbContext& context) {
    return context.runFlow(stopServer);
}

} // namespace ostrel::cli::verbs
