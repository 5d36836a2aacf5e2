// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/verbs/Disconnect.h"

#include "cli/VerbContext.h"
#include "core/session/BridgeSession.h"

namespace ostrel::cli::verbs {

int Disconnect::run(const VerbContext& context) {
    return context.runPhoneFlow(&BridgeSession::usbDisconnect);
}

} // namespace ostrel::cli::verbs
