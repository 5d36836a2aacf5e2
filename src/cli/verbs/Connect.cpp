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
    const int port = context.invocation.port;
    const std::optional<int32_t> given = port != 0 ? std::optional<int32_t>(port) : std::nullopt;
    const std::optional<LocalPair> pair = co_await context.session.connectForView(given);
    if (!pair)
        co_return StateNotReached;
    context.output.result(u"vnc://localhost:%1\n"_s.arg(pair->vnc));
    if (pair->web)
        context.output.result(u"http://localhost:%1\n"_s.arg(*pair->web));
    co_return StateReached;
}

} // namespace

int Connect::run(const VerbContext& context) {
    return context.runFlow(connectForView);
}

} // namespace ostrel::cli::verbs
