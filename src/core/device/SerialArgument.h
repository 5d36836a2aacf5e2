// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>

namespace ostrel {

// The most bytes of a serial handed to adb as one argument. Linux takes at
// most 128 KiB per argument and macOS 1 MiB for all of them with the
// environment; no device's serial comes near this bound, and adb's server
// protocol would not carry a longer one anyway.
inline constexpr qsizetype MaxSerialBytes = 65536;

// Why adb cannot be given `serial` to name its device, as one sentence without
// its full stop; empty when it can. The system would cut an argument at a NUL
// (and the rest may name another phone), and a serial over MaxSerialBytes
// could keep adb from starting at all.
QString unnameableSerial(QStringView serial);

} // namespace ostrel
