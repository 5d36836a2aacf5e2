// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/device/TcpPort.h"

#include <QByteArrayView>
#include <QList>
#include <QString>

namespace ostrel {

// One forward of adb's server that listens on a local TCP port.
struct ListedForward {
    QString serial;    // the phone it leads to, as adb names it (may hold spaces)
    TcpPort localPort; // on this computer
    QString remote;    // the phone's side as adb writes it: "tcp:5901", "localabstract:x"

    friend bool operator==(const ListedForward&, const ListedForward&) = default;
};

// The TCP forwards in the reply to "host:list-forward", in the server's order.
// Each line is "SERIAL LOCAL REMOTE"; the last two space-separated fields are
// LOCAL and REMOTE and the serial is all before them, since serials may hold
// spaces. Lines that do not have that shape, and forwards whose local side is
// not "tcp:PORT" with PORT from 1 to 65535, are left out: the program neither
// makes nor removes those. The list holds every phone's forwards: filter by
// serial where one phone's are wanted.
QList<ListedForward> parseForwardList(QByteArrayView payload);

} // namespace ostrel
