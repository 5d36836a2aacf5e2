#pragma once

#include <QStringView>

#include <cstdint>
#include <optional>

namespace ostrel {

// A TCP port as adb writes one in its addresses and listings: at most five
// ASCII digits making 1 to 65535, and nothing else, not even white space.
std::optional<uint16_t> tcpPortText(QStringView text);

} // namespace ostrel
