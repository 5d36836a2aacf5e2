// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/text/SaidOnce.h"

namespace ostrel {

bool SaidOnce::firstTime(const QString& line) {
    if (said_.contains(line) || said_.size() >= Capacity)
        return false;
    said_.insert(line);
    return true;
}

} // namespace ostrel
