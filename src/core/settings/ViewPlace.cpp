// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/settings/ViewPlace.h"

#include "core/settings/SessionSettings.h"

namespace ostrel {

ViewPlace viewPlaceOf(const SessionSettings& settings) {
    if (const std::optional<ViewPlace> chosen = settings.chosenViewPlace())
        return *chosen;
    return settings.chosenViewer().isEmpty() ? ViewPlace::ThisProgram : ViewPlace::AnotherViewer;
}

} // namespace ostrel
