// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/verbs/Start.h"

#include "cli/VerbContext.h"
#include "core/session/BridgeSession.h"

#include <QCoro/QCoroTask>

namespace ostrel::cli::verbs {

namespace {

QCoro::Task<int> startServer(const VerbContext& context) {
    context.aimAtNamedPhone();
    const bool running = co_await context.session.startServer();
    co_return verdict(running);
}

} // namespace

int Start::run(const VerbContext& context) {
    return context.runFlow(startServer);
}

} // namespace ostrel::cli::verbs
