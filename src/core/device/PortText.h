#pragma once

#include <QString>

#include <cstdint>

namespace ostrel {

inline constexpr int32_t LowestPort = 1;
inline constexpr int32_t HighestPort = 65535;

// The port a user typed: leading white space is skipped, then an optional sign
// and decimal digits are read up to the first other character. A text without
// such digits gives 0. The value saturates at the 64-bit range and the port is
// its low 32 bits, taken as signed.
int32_t portFromText(const QString& text);

// What a typed port entry asks for. A blank entry asks for nothing; a reading
// outside LowestPort..HighestPort is no port, even where its low 32 bits would
// be one.
struct PortEntry {
    enum class Kind { Blank, Port, NotAPort };
    Kind kind = Kind::Blank;
    int32_t port = 0; // set for Kind::Port only
};
PortEntry readPortEntry(const QString& text);

// The one console line that turns an entry down; the entry shows shortened and
// with control characters replaced, since it is whatever was typed or pasted.
QString notAPortLine(const QString& text);

} // namespace ostrel
