// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

namespace ostrel::e2e {

// What a server on 127.0.0.1:port says first, up to and including its first
// newline; empty when nothing answers or the connection closes first. An adb
// forward accepts every connection and closes it when the phone refuses, so
// only what is read tells whether the far end answered.
QByteArray readFirstLine(quint16 port, int timeoutMs = 5000);

// Sends "GET /" to 127.0.0.1:port and returns the reply's status line without
// its line end ("HTTP/1.1 200 OK"); empty when no reply comes.
QByteArray httpStatusLine(quint16 port, int timeoutMs = 5000);

// Speaks RFB 3.8 with no security up to the server's ServerInit and returns
// the desktop name in it; empty when the exchange does not get that far.
QByteArray rfbDesktopName(quint16 port, int timeoutMs = 5000);

// Whether something accepts connections on 127.0.0.1:port.
bool acceptsConnections(quint16 port, int timeoutMs = 2000);

} // namespace ostrel::e2e
