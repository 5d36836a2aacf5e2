// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSet>
#include <QString>

namespace ostrel {

// Which lines have been said, so that each is said once: a server that fails
// the same way every two seconds is told of once, not every two seconds. It
// holds a few lines at most; once full it lets nothing new through until
// forget(), so that a server that words each failure differently cannot fill
// a screen, or memory, with them.
class SaidOnce {
public:
    static constexpr qsizetype Capacity = 16;

    // True the first time `line` is offered (and there is room for it).
    bool firstTime(const QString& line);
    // Everything may be said again, as after the trouble has passed.
    void forget() { said_.clear(); }

private:
    QSet<QString> said_;
};

} // namespace ostrel
