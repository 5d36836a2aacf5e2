// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Reaches up into the session, which the check must catch.
#include "core/session/BridgeSession.h"
