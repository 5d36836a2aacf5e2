// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/device/TcpPort.h"

#include <QString>
#include <QStringView>

#include <optional>

namespace ostrel {

// The one reading of a port, for the window's prompt and the command line
// alike: the text less surrounding white space must be ASCII digits making a
// number from TcpPort::Lowest to TcpPort::Highest. Anything else is no port, so that a
// slip of the keyboard never forwards some other port without a word.
std::optional<TcpPort> portNumber(QStringView text);

// What a typed port entry asks for. A blank entry asks for nothing, as Cancel
// does; otherwise it is a port by portNumber() or no port at all.
struct PortEntry {
    enum class Kind { Blank, Port, NotAPort };
    Kind kind = Kind::Blank;
    std::optional<TcpPort> port; // set for Kind::Port only
};
PortEntry readPortEntry(const QString& text);

// The one console line that turns an entry down; the entry shows shortened and
// with control characters replaced, since it is whatever was typed or pasted.
QString notAPortLine(const QString& text);

} // namespace ostrel
