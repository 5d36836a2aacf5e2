// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace ostrel {

// The most of one line the console shows. The window's text layout takes
// minutes over a line of a megabyte, and nobody reads that far anyway.
inline constexpr qsizetype ConsoleLineLimit = 4096;

// Untrusted text as the console may show it. Controls show as visibleText()
// makes them, a lone CR included, so nothing can ring, move the cursor of a
// terminal the text is copied to, reorder a line or end it early. Each line
// (ended by "\r\n" or "\n") then keeps its first ConsoleLineLimit characters
// and says how many more it had. Line ends and everything else stay as they
// are.
QString shapeConsoleText(const QString& text);

} // namespace ostrel
