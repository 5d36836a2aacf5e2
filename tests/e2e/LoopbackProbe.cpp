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

bool acceptsConnections(quint16 port, int timeoutMs) {
    QTcpSocket socket;
    return connectTo(socket, port, timeoutMs);
}

} // namespace ostrel::e2e
