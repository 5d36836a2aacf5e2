// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/verbs/Connect.h"

#include "cli/CommandLineOutput.h"
#include "cli/VerbContext.h"
#include "core/session/BridgeSession.h"

#include <QCoro/QCoroTask>

namespace ostrel::cli::verbs {

using namespace Qt::Literals::StringLiterals;

namespace {

// Standard output carries the addresses alone, for scripts to hand to a
// viewer; what went wrong goes to standard error.
QCoro::Task<int> connectForView(const VerbContext& context) {
    context.aimAtNamedPhone();
    context.output.setProgressShown(false);
    const std::optional<LocalPair> pair =
        co_await context.session.connectForView(context.invocation.port);
    if (!pair)
        co_return StateNotReached;
    context.output.result(u"vnc://localhost:%1\n"_s.arg(pair->vnc.number()));
    if (pair->web)
        context.output.result(u"http://localhost:%1\n"_s.arg(pair->web->number()));
    co_return StateReached;
}

} // namespace

int Connect::run(const VerbContext& context) {
    return context.runFlow(connectForView);
}

} // namespace ostrel::cli::verbs
