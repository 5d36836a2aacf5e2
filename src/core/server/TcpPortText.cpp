#include "core/server/TcpPortText.h"

namespace ostrel {

std::optional<uint16_t> tcpPortText(QStringView text) {
    // Five digits cannot overflow the sum below.
    if (text.isEmpty() || text.size() > 5)
        return std::nullopt;
    uint32_t port = 0;
    for (const QChar digit : text) {
        if (digit < u'0' || digit > u'9')
            return std::nullopt;
        port = port * 10 + (digit.unicode() - u'0');
    }
    if (port < 1 || port > 65535)
        return std::nullopt;
    return static_cast<uint16_t>(port);
}

} // namespace ostrel
