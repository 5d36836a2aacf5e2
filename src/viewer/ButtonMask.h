// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <Qt>

// The server's pointer buttons: bit 0 left, 1 middle, 2 right, 3 and 4 the
// wheel turned up and down (a wheel step is a press and a release).
int buttonMaskFor(Qt::MouseButtons buttons);
int wheelMaskFor(int angleDeltaY);
