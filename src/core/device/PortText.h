#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

namespace ostrel {

inline constexpr int32_t LowestPort = 1;
inline constexpr int32_t HighestPort = 65535;

// The one reading of a port, for the window's prompt and the command line
// alike: the text less surrounding white space must be ASCII digits making a
// number from LowestPort to HighestPort. Anything else is no port, so that a
// slip of the keyboard never forwards some other port without a word.
std::optional<int32_t> portNumber(QStringView text);

// What a typed port entry asks for. A blank entry asks for nothing, as Cancel
// does; otherwise it is a port by portNumber() or no port at all.
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
