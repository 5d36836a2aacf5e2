// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/verbs/Stop.h"

#include "cli/VerbContext.h"
#include "core/session/BridgeSession.h"

namespace ostrel::cli::verbs {

int Stop::run(const VerbContext& context) {
    return context.runPhoneFlow(&BridgeSession::stopServer);
}

} // namespace ostrel::cli::verbs
