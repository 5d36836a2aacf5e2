// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/session/ViewerOpener.h"
#include "core/settings/AdbLookup.h"

namespace ostrel {

class CommandRunner;

// How the first of a phone's viewer windows' ends came: the user closed it,
// or it could not connect (`line` says why, as the window shows it).
struct ViewerWindowEnd {
    bool connected = true;
    QString line;
};

// Viewer windows of the program's own, one a phone. A window that cannot
// connect stays open, offering to connect again, unless its watcher closes it.
class BuiltInViewer : public ViewerOpener {
public:
    // Waits until the window open for `serial` is closed or could not
    // connect; a phone without a window has ended already, closed.
    virtual QCoro::Task<ViewerWindowEnd> windowEnd(QString serial) = 0;
    // Closes every window at once; their connections end by themselves.
    virtual void closeAll() = 0;
    // The phone's buttons beside each screen opened from now on run `adb`
    // through `runner`, as the session's own commands do.
    virtual void runAdbWith(CommandRunner& runner, AdbLookup adb) = 0;
};

} // namespace ostrel
