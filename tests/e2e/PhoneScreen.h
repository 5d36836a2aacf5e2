// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QSize>

// The picture the simulated phone's VNC server shows at `size`, pixel for
// pixel (the same rule as the simulator's). Apart from SimulatedPhone, so that
// the tests without a screen build without Qt Gui.
namespace ostrel::e2e {

QImage expectedScreen(QSize size);

} // namespace ostrel::e2e
