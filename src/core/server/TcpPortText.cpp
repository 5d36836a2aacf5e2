// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/server/TcpPortText.h"

namespace ostrel {

std::optional<TcpPort> tcpPortText(QStringView text) {
    // Five digits cannot overflow the sum below.
    if (text.isEmpty() || text.size() > 5)
        return std::nullopt;
    uint32_t port = 0;
    for (const QChar digit : text) {
        if (digit < u'0' || digit > u'9')
            return std::nullopt;
        port = port * 10 + (digit.unicode() - u'0');
    }
    return TcpPort::fromNumber(port);
}

} // namespace ostrel
