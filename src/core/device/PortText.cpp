#include "core/device/PortText.h"

#include <limits>
#include <optional>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

namespace {

// Long enough for any number a person means as a port, short enough for one line.
constexpr qsizetype ShownEntryLength = 24;

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

// The leading integer, or nothing when no digit follows the optional sign.
std::optional<int64_t> leadingInteger(const QString& text) {
    qsizetype at = 0;
    while (at < text.size() && text.at(at).isSpace())
        ++at;
    bool negative = false;
    if (at < text.size() && (text.at(at) == QLatin1Char('+') || text.at(at) == QLatin1Char('-')))
        negative = text.at(at++) == QLatin1Char('-');
    if (at >= text.size() || !isAsciiDigit(text.at(at)))
        return std::nullopt;
    return saturatedValue(text, at, negative);
}

QString shownEntry(const QString& text) {
    QString shown = text.left(ShownEntryLength);
    for (QChar& c : shown) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line ||
            c.category() == QChar::Separator_Paragraph)
            c = QChar::ReplacementCharacter;
    }
    if (text.size() > ShownEntryLength)
        shown += u"..."_s;
    return shown;
}

} // namespace

int32_t portFromText(const QString& text) {
    const int64_t value = leadingInteger(text).value_or(0);
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}

PortEntry readPortEntry(const QString& text) {
    if (text.trimmed().isEmpty())
        return {};
    const std::optional<int64_t> value = leadingInteger(text);
    if (!value || *value < LowestPort || *value > HighestPort)
        return {PortEntry::Kind::NotAPort};
    return {PortEntry::Kind::Port, static_cast<int32_t>(*value)};
}

QString notAPortLine(const QString& text) {
    return u"Error: \"%1\" is not a port number: enter a number from %2 to %3.\r\n"_s.arg(
        shownEntry(text), QString::number(LowestPort), QString::number(HighestPort));
}

} // namespace ostrel
