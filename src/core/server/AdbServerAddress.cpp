// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/server/AdbServerAddress.h"

#include "core/server/TcpPortText.h"

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

namespace {

// "HOST" or "[HOST]" as written before the last colon of an adb socket address.
std::optional<QString> socketHost(QStringView text) {
    if (text.startsWith(u'[')) {
        if (!text.endsWith(u']') || text.size() < 3)
            return std::nullopt;
        return text.sliced(1, text.size() - 2).toString();
    }
    // An IPv6 literal must be bracketed, or its colons could be read as a port.
    if (text.isEmpty() || text.contains(u':') || text.contains(u']'))
        return std::nullopt;
    return text.toString();
}

std::optional<AdbServerAddress> fromSocketAddress(QStringView socket) {
    if (!socket.startsWith(u"tcp:"_s))
        return std::nullopt;
    const QStringView rest = socket.sliced(4);
    const qsizetype colon = rest.lastIndexOf(u':');
    AdbServerAddress address;
    const std::optional<TcpPort> port = tcpPortText(colon < 0 ? rest : rest.sliced(colon + 1));
    if (!port)
        return std::nullopt;
    address.port = port->number();
    if (colon < 0)
        return address;
    const std::optional<QString> host = socketHost(rest.first(colon));
    if (!host)
        return std::nullopt;
    address.host = *host;
    return address;
}

} // namespace

std::optional<AdbServerAddress>
AdbServerAddress::fromEnvironment(const QProcessEnvironment& environment) {
    const QString socketAddress = environment.value(u"ADB_SERVER_SOCKET"_s);
    if (!socketAddress.isEmpty())
        return fromSocketAddress(socketAddress);
    AdbServerAddress address;
    const QString host = environment.value(u"ANDROID_ADB_SERVER_ADDRESS"_s);
    if (!host.isEmpty())
        address.host = host;
    const QString portText = environment.value(u"ANDROID_ADB_SERVER_PORT"_s);
    if (!portText.isEmpty()) {
        const std::optional<TcpPort> port = tcpPortText(portText);
        if (!port)
            return std::nullopt;
        address.port = port->number();
    }
    return address;
}

QString AdbServerAddress::text() const {
    if (host.contains(u':'))
        return u"[%1]:%2"_s.arg(host).arg(port);
    return u"%1:%2"_s.arg(host).arg(port);
}

} // namespace ostrel
