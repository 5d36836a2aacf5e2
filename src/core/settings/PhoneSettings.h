#pragma once

#include "core/device/TcpPort.h"

#include <QString>

#include <optional>

namespace ostrel {

// The VNC port a phone's server shows until the user says otherwise.
inline constexpr TcpPort DefaultVncPort = TcpPort::known(5901);

// Where a phone's own settings live: "phones/<SHA-1 of the serial, in hex>/".
// Hashed, so that a serial with slashes or other odd characters cannot reach
// another key, and the file names no phone in plain text.
QString phoneSettingsGroup(const QString& serial);

// The VNC port the user last gave for this phone; nothing when none was
// given, or when the stored value is no port (the file may have been edited
// by hand or by anything else).
std::optional<TcpPort> rememberedVncPort(const QString& serial);

// Keeps `port` as the phone's VNC port. Returns why it could not be stored,
// or an empty string.
QString rememberVncPort(const QString& serial, TcpPort port);

// The viewer the user chose; empty when none was.
QString chosenViewerSetting();
// Keeps `path` as the chosen viewer; an empty path forgets the choice.
// Returns why it could not be stored, or an empty string.
QString storeChosenViewer(const QString& path);

} // namespace ostrel
