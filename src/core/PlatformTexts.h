// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace ostrel {

// The words that name the user's computer and its VNC viewer differ by
// platform: only a Mac comes with a VNC viewer of its own.
enum class Platform { MacOS, Other };

struct PlatformTexts {
    QString thisComputer;  // as in "disconnect your device from this computer"
    QString builtInViewer; // as in "if you want to use a VNC viewer"
};

PlatformTexts platformTexts(Platform platform);
Platform currentPlatform();

// The words of the platform this program was built for.
QString thisComputer();
QString builtInViewer();

} // namespace ostrel
