// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/device/TcpPort.h"

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

QString adbSocketName(TcpPort port) {
    return u"tcp:%1"_s.arg(port.number());
}

} // namespace ostrel
