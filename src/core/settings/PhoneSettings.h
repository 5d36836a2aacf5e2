// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/device/TcpPort.h"

#include <QString>

namespace ostrel {

// The VNC port a phone's server shows until the user says otherwise.
inline constexpr TcpPort DefaultVncPort = TcpPort::known(5901);

// Where a phone's own settings live: "phones/<SHA-1 of the serial, in hex>/".
// Hashed, so that a serial with slashes or other odd characters cannot reach
// another key, and the file names no phone in plain text.
QString phoneSettingsGroup(const QString& serial);

} // namespace ostrel
