// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace ostrel {

// Cut text between the desktop and the phone's server travels as Latin-1,
// lines ending in a bare line feed; nothing else can be carried.

// The bytes to send for the desktop's `text`; nothing when some character
// has no Latin-1 form, since a part of the text would be worse than none.
std::optional<QByteArray> cutTextToSend(const QString& text);

// The server's cut text as the desktop's clipboard takes it.
QString cutTextReceived(const QByteArray& bytes);

// What the window says, once, when text could not be sent.
QString notLatin1Line();

} // namespace ostrel
