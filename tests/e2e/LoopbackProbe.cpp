// SPDX-License-Identifier: GPL-3.0-or-later
#include "e2e/LoopbackProbe.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpSocket>

namespace ostrel::e2e {

namespace {

// Reads until the first newline, the peer's close or the deadline.
QByteArray readLine(QTcpSocket& socket, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    QByteArray received;
    while (!received.contains('\n') && clock.elapsed() < timeoutMs) {
        if (socket.bytesAvailable() == 0 &&
            !socket.waitForReadyRead(static_cast<int>(timeoutMs - clock.elapsed())))
            break;
        received += socket.readAll();
    }
    const qsizetype end = received.indexOf('\n');
    return end < 0 ? QByteArray() : received.left(end + 1);
}

bool connectTo(QTcpSocket& socket, quint16 port, int timeoutMs) {
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(timeoutMs);
}

} // namespace

QByteArray readFirstLine(quint16 port, int timeoutMs) {
    QTcpSocket socket;
    if (!connectTo(socket, port, timeoutMs))
        return {};
    return readLine(socket, timeoutMs);
}

QByteArray httpStatusLine(quint16 port, int timeoutMs) {
    QTcpSocket socket;
    if (!connectTo(socket, port, timeoutMs))
        return {};
    socket.write("GET / HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n");
    if (!socket.waitForBytesWritten(timeoutMs))
        return {};
    return readLine(socket, timeoutMs).trimmed();
}

namespace {

// Exactly `size` bytes, or empty.
QByteArray readExactly(QTcpSocket& socket, qsizetype size, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    QByteArray received;
    while (received.size() < size && clock.elapsed() < timeoutMs) {
        if (socket.bytesAvailable() == 0 &&
            !socket.waitForReadyRead(static_cast<int>(timeoutMs - clock.elapsed())))
            break;
        received += socket.read(size - received.size());
    }
    return received.size() == size ? received : QByteArray();
}

quint32 bigEndian32(const QByteArray& bytes, qsizetype at) {
    quint32 value = 0;
    for (qsizetype i = at; i < at + 4; ++i)
        value = (value << 8) | static_cast<quint8>(bytes.at(i));
    return value;
}

} // namespace

QByteArray rfbDesktopName(quint16 port, int timeoutMs) {
    QTcpSocket socket;
    if (!connectTo(socket, port, timeoutMs) || readExactly(socket, 12, timeoutMs).isEmpty())
        return {};
    socket.write("RFB 003.008\n");
    const QByteArray types = readExactly(socket, 2, timeoutMs);
    if (types != QByteArray("\x01\x01", 2))
        return {};
    socket.write(QByteArray(1, '\x01')); // None
    if (readExactly(socket, 4, timeoutMs) != QByteArray(4, '\0'))
        return {};
    socket.write(QByteArray(1, '\x01')); // ClientInit: shared
    const QByteArray init = readExactly(socket, 24, timeoutMs);
    if (init.isEmpty())
        return {};
    const quint32 length = bigEndian32(init, 20);
    if (length > 4096)
        return {};
    return readExactly(socket, length, timeoutMs);
}

bool acceptsConnections(quint16 port, int timeoutMs) {
    QTcpSocket socket;
    return connectTo(socket, port, timeoutMs);
}

} // namespace ostrel::e2e
