// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/TinyScreenServer.h"

#include <QTcpSocket>
#include <QtEndian>
#include <QtTest>

#include <sys/socket.h>

namespace ostrel::test {

namespace {

void appendU16(QByteArray& to, int value) {
    to += char((value >> 8) & 0xff);
    to += char(value & 0xff);
}

QByteArray updateHeader(int rects) {
    QByteArray header(2, '\0');
    appendU16(header, rects);
    return header;
}

QByteArray rectHeader(const QRect& rect, qint32 encoding) {
    QByteArray header;
    appendU16(header, rect.x());
    appendU16(header, rect.y());
    appendU16(header, rect.width());
    appendU16(header, rect.height());
    header += QByteArray(4, '\0');
    qToBigEndian<qint32>(encoding, header.data() + 8);
    return header;
}

} // namespace

QImage testPicture(QSize size, int variant) {
    QImage picture(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            picture.setPixel(
                x, y, qRgb((x * 5 + variant) & 0xff, (y * 3) & 0xff, (x + y + variant) & 0xff));
    return picture;
}

TinyScreenServer::TinyScreenServer(QImage picture) : m_picture(std::move(picture)) {
    m_server.listen(QHostAddress::LocalHost);
    connect(&m_server, &QTcpServer::newConnection, this, [this] { accept(); });
    m_updates.push_back([this] { sendRect(m_picture.rect()); });
}

void TinyScreenServer::sendCutText(const QByteArray& text) {
    QByteArray message("\x03\0\0\0", 4);
    message += QByteArray(4, '\0');
    qToBigEndian<quint32>(quint32(text.size()), message.data() + 4);
    m_client->write(message + text);
}

void TinyScreenServer::changeSize(QImage picture) {
    m_picture = std::move(picture);
    queue([this] { sendNewSize(); });
    queue([this] { sendRect(m_picture.rect()); });
}

void TinyScreenServer::changePart(QImage picture, QRect rect) {
    queue([this, picture = std::move(picture), rect] {
        m_picture = picture;
        sendRect(rect);
    });
}

void TinyScreenServer::sendCursor(const QImage& shape, QPoint hotspot) {
    queue([this, shape, hotspot] {
        constexpr qint32 richCursor = -239;
        QByteArray message = updateHeader(1) + rectHeader(QRect(hotspot, shape.size()), richCursor);
        const int maskLine = (shape.width() + 7) / 8;
        QByteArray mask(maskLine * shape.height(), '\0');
        for (int y = 0; y < shape.height(); ++y)
            for (int x = 0; x < shape.width(); ++x) {
                message += pixelBytes(shape.pixel(x, y));
                if (qAlpha(shape.pixel(x, y)) != 0)
                    mask[y * maskLine + x / 8] =
                        char(mask[y * maskLine + x / 8] | (0x80 >> (x % 8)));
            }
        m_client->write(message + mask);
    });
}

void TinyScreenServer::sendHalfAnUpdate() {
    queue([this] {
        QByteArray message = updateHeader(1);
        message += rectHeader(QRect(0, 0, 8, 8), 0);
        message += QByteArray(100, '\0');
        m_client->write(message);
    });
}

void TinyScreenServer::closeClient() {
    ::shutdown(int(m_client->socketDescriptor()), SHUT_WR);
}

void TinyScreenServer::resetClient() {
    const linger abrupt{1, 0};
    ::setsockopt(int(m_client->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abrupt, sizeof abrupt);
    m_client->close();
}

void TinyScreenServer::askPassword(bool accepts) {
    askPassword(QList<bool>{accepts});
}

void TinyScreenServer::askPassword(QList<bool> verdicts) {
    m_password = PasswordCheck{std::move(verdicts)};
}

// A client after the first starts from the beginning: the handshake, then
// the whole screen.
void TinyScreenServer::accept() {
    if (m_client != nullptr) {
        m_updates.clear();
        m_updates.push_back([this] { sendRect(m_picture.rect()); });
    }
    m_client = m_server.nextPendingConnection();
    m_input.clear();
    m_phase = Phase::Version;
    m_asked = false;
    QTcpSocket* client = m_client;
    connect(client, &QTcpSocket::readyRead, this, [this, client] {
        if (client == m_client)
            readClient();
    });
    m_client->write("RFB 003.008\n");
}

void TinyScreenServer::readClient() {
    m_input += m_client->readAll();
    while (handleOneMessage()) {
    }
}

bool TinyScreenServer::handleOneMessage() {
    switch (m_phase) {
    case Phase::Version:
        return take(12, [this](const QByteArray&) {
            m_client->write(QByteArray(1, '\x01') + char(m_password ? 2 : 1));
            m_phase = Phase::Security;
        });
    case Phase::Security:
        return take(1, [this](const QByteArray&) {
            if (m_password) {
                m_client->write(QByteArray(16, '\x5a'));
                m_phase = Phase::Challenge;
                return;
            }
            m_client->write(QByteArray(4, '\0'));
            m_phase = Phase::ClientInit;
        });
    case Phase::Challenge:
        return take(16, [this](const QByteArray& response) {
            passwordResponses.append(response);
            if (m_password->next()) {
                m_client->write(QByteArray(4, '\0'));
                m_phase = Phase::ClientInit;
                return;
            }
            const QByteArray reason("wrong password");
            QByteArray failure(8, '\0');
            failure[3] = 1;
            failure[7] = char(reason.size());
            m_client->write(failure + reason);
            m_client->disconnectFromHost();
        });
    case Phase::ClientInit:
        return take(1, [this](const QByteArray&) {
            sendServerInit();
            m_phase = Phase::Messages;
        });
    case Phase::Messages:
        return handleClientMessage();
    }
    return false;
}

bool TinyScreenServer::take(qsizetype length,
                            const std::function<void(const QByteArray&)>& handle) {
    if (m_input.size() < length)
        return false;
    const QByteArray message = m_input.left(length);
    m_input.remove(0, length);
    handle(message);
    return true;
}

quint16 TinyScreenServer::u16(qsizetype at) const {
    return qFromBigEndian<quint16>(m_input.constData() + at);
}

bool TinyScreenServer::handleClientMessage() {
    if (m_input.isEmpty())
        return false;
    switch (quint8(m_input[0])) {
    case 0:
        return take(20, [this](const QByteArray& m) { readPixelFormat(m); });
    case 2:
        return m_input.size() >= 4 &&
               take(4 + 4 * u16(2), [this](const QByteArray& m) { readEncodings(m); });
    case 3:
        return take(10, [this](const QByteArray&) {
            m_asked = true;
            sendWhenAsked();
        });
    case 4:
        return take(8, [this](const QByteArray& m) {
            keyEvents.append({qFromBigEndian<quint32>(m.constData() + 4), m[1] != 0});
        });
    case 5:
        return take(6, [this](const QByteArray& m) {
            pointerEvents.append({QPoint(qFromBigEndian<quint16>(m.constData() + 2),
                                         qFromBigEndian<quint16>(m.constData() + 4)),
                                  quint8(m[1])});
        });
    case 6:
        return m_input.size() >= 8 &&
               take(8 + qFromBigEndian<quint32>(m_input.constData() + 4),
                    [this](const QByteArray& m) { cutTexts.append(m.mid(8)); });
    default:
        QTest::qFail("unknown client message", __FILE__, __LINE__);
        return false;
    }
}

void TinyScreenServer::readPixelFormat(const QByteArray& message) {
    QCOMPARE(quint8(message[4]), quint8(32));
    m_bigEndian = message[6] != 0;
    m_shifts = {quint8(message[14]), quint8(message[15]), quint8(message[16])};
}

void TinyScreenServer::readEncodings(const QByteArray& message) {
    encodings.clear();
    for (qsizetype at = 4; at < message.size(); at += 4)
        encodings.append(qFromBigEndian<qint32>(message.constData() + at));
}

void TinyScreenServer::sendServerInit() {
    QByteArray init;
    appendU16(init, m_picture.width());
    appendU16(init, m_picture.height());
    init += QByteArray("\x20\x18\x00\x01\x00\xff\x00\xff\x00\xff\x10\x08\x00\0\0\0", 16);
    const QByteArray name("tiny");
    init += QByteArray(4, '\0');
    qToBigEndian<quint32>(quint32(name.size()), init.data() + init.size() - 4);
    m_client->write(init + name);
}

void TinyScreenServer::queue(std::function<void()> update) {
    m_updates.push_back(std::move(update));
    sendWhenAsked();
}

void TinyScreenServer::sendWhenAsked() {
    if (!m_asked || m_updates.empty() || m_client == nullptr)
        return;
    m_asked = false;
    const auto update = m_updates.front();
    m_updates.pop_front();
    update();
}

void TinyScreenServer::sendNewSize() {
    constexpr qint32 desktopSize = -223;
    m_client->write(updateHeader(1) + rectHeader(m_picture.rect(), desktopSize));
}

void TinyScreenServer::sendRect(const QRect& rect) {
    QByteArray message = updateHeader(1) + rectHeader(rect, 0);
    message.reserve(message.size() + rect.width() * rect.height() * 4);
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            message += pixelBytes(m_picture.pixel(x, y));
    m_client->write(message);
}

QByteArray TinyScreenServer::pixelBytes(QRgb rgb) const {
    const quint32 value = (quint32(qRed(rgb)) << m_shifts[0]) |
                          (quint32(qGreen(rgb)) << m_shifts[1]) |
                          (quint32(qBlue(rgb)) << m_shifts[2]);
    QByteArray bytes(4, '\0');
    if (m_bigEndian)
        qToBigEndian(value, bytes.data());
    else
        qToLittleEndian(value, bytes.data());
    return bytes;
}

} // namespace ostrel::test
