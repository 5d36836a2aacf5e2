// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/PlatformTexts.h"

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

PlatformTexts platformTexts(Platform platform) {
    if (platform == Platform::MacOS)
        return {u"this Mac"_s, u"Mac's built-in VNC Viewer"_s};
    return {u"this computer"_s, u"a VNC viewer"_s};
}

Platform currentPlatform() {
#ifdef Q_OS_MACOS
    return Platform::MacOS;
#else
    return Platform::Other;
#endif
}

QString thisComputer() {
    return platformTexts(currentPlatform()).thisComputer;
}

QString builtInViewer() {
    return platformTexts(currentPlatform()).builtInViewer;
}

} // namespace ostrel
