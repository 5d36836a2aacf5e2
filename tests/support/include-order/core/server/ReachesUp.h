#pragma once

// Reaches up into the session, which the check must catch.
#include "core/session/BridgeSession.h"
