// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>

#include <compare>
#include <cstdint>
#include <optional>

namespace ostrel {

class TcpPort;

// The readers that make ports from text (core/device/PortText.h,
// core/server/TcpPortText.h).
std::optional<TcpPort> portNumber(QStringView text);
std::optional<TcpPort> tcpPortText(QStringView text);

// A TCP port, 1 to 65535, on this computer or on a phone. Only the readers of
// a port's text make one, or another port: a value of this type has passed
// the range check, so nothing downstream checks again or wraps round.
class TcpPort {
public:
    static constexpr int32_t Lowest = 1;
    static constexpr int32_t Highest = 65535;

    // A port the program itself names; a number out of range does not compile.
    static consteval TcpPort known(int64_t number) {
        const std::optional<TcpPort> port = fromNumber(number);
        if (!port)
            throw "not a TCP port";
        return *port;
    }

    constexpr uint16_t number() const { return number_; }

    // The web port of a server whose VNC port this is: 100 below, none when
    // that leaves no port.
    std::optional<TcpPort> webPort() const { return fromNumber(int64_t{number_} - 100); }
    // The port above, for trying the next pair upward; none above the highest.
    std::optional<TcpPort> next() const { return fromNumber(int64_t{number_} + 1); }

    friend constexpr auto operator<=>(const TcpPort&, const TcpPort&) = default;

private:
    explicit constexpr TcpPort(uint16_t number) : number_(number) {}
    // The one range check: every port is made here.
    static constexpr std::optional<TcpPort> fromNumber(int64_t number) {
        if (number < Lowest || number > Highest)
            return std::nullopt;
        return TcpPort(static_cast<uint16_t>(number));
    }

    friend std::optional<TcpPort> portNumber(QStringView text);
    friend std::optional<TcpPort> tcpPortText(QStringView text);

    uint16_t number_;
};

// adb's name of a local or remote TCP socket: "tcp:5901".
QString adbSocketName(TcpPort port);

} // namespace ostrel
