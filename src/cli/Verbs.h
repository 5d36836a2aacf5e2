#pragma once

#include "cli/Invocation.h"

#include <QCoro/QCoroFwd>

namespace ostrel {
class BridgeSession;
}

namespace ostrel::cli {

class CommandLineOutput;

// Runs the invocation's verb as one flow of the session and gives the exit
// status. The session and the output must outlive the flow.
QCoro::Task<int> runVerb(BridgeSession& session, CommandLineOutput& output, Invocation invocation);

} // namespace ostrel::cli
