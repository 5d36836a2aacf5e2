// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/device/PortText.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace ostrel {

// How QtTest shows a port when a comparison fails.
inline char* toString(TcpPort port) {
    return qstrdup(QByteArray::number(port.number()).constData());
}

namespace test {

// A port a test picked, often one the system gave a listener, made the way
// the program makes one from typed text.
inline TcpPort portOf(int number) {
    const std::optional<TcpPort> port = portNumber(QString::number(number));
    if (!port)
        qFatal("%d is no TCP port", number);
    return *port;
}

} // namespace test

} // namespace ostrel
