// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>

namespace ostrel {

// Text that came from outside (a device's serial, adb's output, the server's
// words) as it may be shown in the console, the device list or on a terminal.
// Controls that could move a cursor, ring a bell or reorder what is shown
// become visible symbols: C0 controls other than TAB and line ends, and a CR
// not followed by LF, show as their Control Pictures (U+2400 + code), DEL as
// U+2421; C1 controls, the bidirectional marks (U+061C, U+200E, U+200F),
// embeddings, overrides and isolates, and the line and paragraph separators
// as "<U+XXXX>". Everything else stays as it is.
QString visibleText(QStringView text);

// True when visibleText() would change `text`.
bool needsVisibleText(QStringView text);

} // namespace ostrel
