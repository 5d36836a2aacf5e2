// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Reaches the window, which the check must catch.
#include "gui/ConsoleView.h"
