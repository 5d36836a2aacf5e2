// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/device/TcpPort.h"

#include <QStringView>

#include <optional>

namespace ostrel {

// A TCP port as adb writes one in its addresses and listings: at most five
// ASCII digits making 1 to 65535, and nothing else, not even white space.
std::optional<TcpPort> tcpPortText(QStringView text);

} // namespace ostrel
