// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/verbs/View.h"

#include "cli/CommandLineOutput.h"
#include "cli/VerbContext.h"
#include "core/session/BridgeSession.h"
#include "core/session/BuiltInViewer.h"

#include <QCoro/QCoroTask>

namespace ostrel::cli::verbs {

using namespace Qt::Literals::StringLiterals;

namespace {

// Reached when the window was shown and the user closed it. A window that
// could not connect is closed here: its line goes to standard error, and
// nobody is left to click its Reconnect.
QCoro::Task<int> viewAlone(const VerbContext& context) {
    if (!context.viewer) {
        context.output.failure(u"Error: --view is run by the window program only.\n"_s);
        co_return StateNotReached;
    }
    context.aimAtNamedPhone();
    const bool opened = co_await context.session.view(context.invocation.port, *context.viewer);
    if (!opened)
        co_return StateNotReached;
    const ViewerWindowEnd end =
        co_await context.viewer->windowEnd(context.session.selectedDevice());
    if (end.connected)
        co_return StateReached;
    context.output.failure(u"Error: %1\n"_s.arg(end.line));
    context.viewer->closeAll();
    co_return StateNotReached;
}

} // namespace

int View::run(const VerbContext& context) {
    return context.runFlow(viewAlone);
}

} // namespace ostrel::cli::verbs
