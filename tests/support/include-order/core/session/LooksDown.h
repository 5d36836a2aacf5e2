// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The session may use what lies below it.
#include "core/server/ReachesUp.h"
