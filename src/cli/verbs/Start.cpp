// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/verbs/Start.h"

#include "cli/VerbContext.h"
#include "core/session/BridgeSession.h"

namespace ostrel::cli::verbs {

int Start::run(const VerbContext& context) {
    return context.runPhoneFlow(&BridgeSession::startServer);
}

} // namespace ostrel::cli::verbs
