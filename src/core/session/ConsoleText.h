#pragma once

#include <QString>

namespace ostrel {

// The most of one line the console shows. The window's text layout takes
// minutes over a line of a megabyte, and nobody reads that far anyway.
inline constexpr qsizetype ConsoleLineLimit = 4096;

// Untrusted text as the console may show it. Each line (ended by "\r\n", "\n"
// or "\r") keeps its first ConsoleLineLimit characters and then says how many
// more it had; a NUL shows as U+2400, since a NUL would end the text early for
// screen readers and the command line. Line ends and everything else stay as
// they are.
QString shapeConsoleText(const QString& text);

} // namespace ostrel
