// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/ButtonMask.h"

int buttonMaskFor(Qt::MouseButtons buttons) {
    int mask = 0;
    if (buttons & Qt::LeftButton)
        mask |= 1;
    if (buttons & Qt::MiddleButton)
        mask |= 2;
    if (buttons & Qt::RightButton)
        mask |= 4;
    return mask;
}

int wheelMaskFor(int angleDeltaY) {
    if (angleDeltaY > 0)
        return 8;
    if (angleDeltaY < 0)
        return 16;
    return 0;
}
