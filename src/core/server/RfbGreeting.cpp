// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/server/RfbGreeting.h"

namespace ostrel {

bool isRfbGreeting(QByteArrayView bytes) {
    constexpr char Shape[] = "RFB 999.999\n"; // '9' stands for any digit
    static_assert(sizeof(Shape) - 1 == RfbGreetingSize);
    if (bytes.size() != RfbGreetingSize)
        return false;
    for (qsizetype i = 0; i < RfbGreetingSize; ++i) {
        const char byte = bytes[i];
        const bool fits = Shape[i] == '9' ? byte >= '0' && byte <= '9' : byte == Shape[i];
        if (!fits)
            return false;
    }
    return true;
}

} // namespace ostrel
