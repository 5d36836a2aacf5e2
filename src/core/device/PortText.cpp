#include "core/device/PortText.h"

#include <limits>

namespace ostrel {

namespace {

bool isAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Accumulates towards the sign so that the most negative value is reachable,
// and stops growing at the range's end instead of overflowing.
int64_t saturatedValue(const QString& text, qsizetype at, bool negative) {
    constexpr int64_t lowest = std::numeric_limits<int64_t>::min();
    constexpr int64_t highest = std::numeric_limits<int64_t>::max();
    int64_t value = 0;
    for (; at < text.size() && isAsciiDigit(text.at(at)); ++at) {
        const int digit = text.at(at).unicode() - '0';
        if (negative)
            value = value < (lowest + digit) / 10 ? lowest : value * 10 - digit;
        else
            value = value > (highest - digit) / 10 ? highest : value * 10 + digit;
    }
    return value;
}

} // namespace

int32_t portFromText(const QString& text) {
    qsizetype at = 0;
    while (at < text.size() && text.at(at).isSpace())
        ++at;
    bool negative = false;
    if (at < text.size() && (text.at(at) == QLatin1Char('+') || text.at(at) == QLatin1Char('-')))
        negative = text.at(at++) == QLatin1Char('-');
    const int64_t value = saturatedValue(text, at, negative);
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}

} // namespace ostrel
