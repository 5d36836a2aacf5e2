#pragma once

// Reaches the window, which the check must catch.
#include "gui/ConsoleView.h"
