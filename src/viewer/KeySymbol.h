// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>

// The keysym a key press sends to the server: the editing and moving keys by
// their own keysyms, anything else by the character it typed. 0 when the key
// has nothing to send (a lone modifier, a control character).
quint32 keySymbolFor(int qtKey, const QString& text);
