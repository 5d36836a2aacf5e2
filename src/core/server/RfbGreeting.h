// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>

namespace ostrel {

// The size of the greeting an RFB (VNC) server sends first.
inline constexpr int RfbGreetingSize = 12;

// Whether `bytes` are exactly an RFB server's greeting, "RFB ddd.ddd\n" with
// each d a decimal digit ("RFB 003.008\n").
bool isRfbGreeting(QByteArrayView bytes);

} // namespace ostrel
