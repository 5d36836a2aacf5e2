// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

namespace ostrel {

// The framing of adb's server socket: every request, failure message and
// reply payload is four hex digits of its length followed by that many bytes.

// The largest length four hex digits can carry.
inline constexpr int MaxAdbFrameLength = 0xffff;

// `service` ("host:track-devices") as the server reads a request:
// "0012host:track-devices". Nothing when it is too long to be framed.
std::optional<QByteArray> adbServiceRequest(QByteArrayView service);

// The length in four hex digits of either case; nothing for anything else
// (fewer or more characters, signs, spaces, other letters).
std::optional<int> adbFrameLength(QByteArrayView fourDigits);

} // namespace ostrel
