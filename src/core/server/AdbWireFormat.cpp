// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/server/AdbWireFormat.h"

namespace ostrel {

namespace {

int hexDigitValue(char digit) {
    if (digit >= '0' && digit <= '9')
        return digit - '0';
    if (digit >= 'a' && digit <= 'f')
        return digit - 'a' + 10;
    if (digit >= 'A' && digit <= 'F')
        return digit - 'A' + 10;
    return -1;
}

} // namespace

std::optional<QByteArray> adbServiceRequest(QByteArrayView service) {
    if (service.size() > MaxAdbFrameLength)
        return std::nullopt;
    return QByteArray::number(service.size(), 16).rightJustified(4, '0') + service.toByteArray();
}

std::optional<int> adbFrameLength(QByteArrayView fourDigits) {
    if (fourDigits.size() != 4)
        return std::nullopt;
    int length = 0;
    for (const char digit : fourDigits) {
        const int value = hexDigitValue(digit);
        if (value < 0)
            return std::nullopt;
        length = length * 16 + value;
    }
    return length;
}

} // namespace ostrel
