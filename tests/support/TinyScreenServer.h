// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPoint>
#include <QTcpServer>

#include <array>
#include <deque>
#include <functional>
#include <optional>

class QTcpSocket;

namespace ostrel::test {

// A picture whose every pixel tells where it is, and `variant` which one it is.
QImage testPicture(QSize size, int variant);

struct PointerEvent {
    QPoint position;
    int mask = 0;
    bool operator==(const PointerEvent&) const = default;
};

// A screen server serving one client at a time: no security or a password,
// Raw pixels of a known picture, a screen that changes size. It answers each
// update request with the next queued update, and reads pixels in the layout
// the client asked for.
class TinyScreenServer : public QObject {
public:
    explicit TinyScreenServer(QImage picture);

    quint16 port() const { return m_server.serverPort(); }
    bool hasClient() const { return m_client != nullptr; }

    void changeSize(QImage picture);
    // Sends only `rect` of `picture`, which becomes the screen.
    void changePart(QImage picture, QRect rect);
    void sendCursor(const QImage& shape, QPoint hotspot);
    // Puts `text` on the client's clipboard, at once, between updates.
    void sendCutText(const QByteArray& text);
    // Half a pixel message: the client stays blocked in its read.
    void sendHalfAnUpdate();
    // Half-closed, so that the client reads an orderly end even when a request
    // of its own is still on the way here (closing outright would reset).
    void closeClient();
    void resetClient();
    // Asks for a password, accepting any answer or none.
    void askPassword(bool accepts);
    // Asks for a password, each attempt judged by the next verdict; the last
    // one stands for all later attempts.
    void askPassword(QList<bool> verdicts);

    QList<QByteArray> passwordResponses;
    QList<PointerEvent> pointerEvents;
    QList<QPair<quint32, bool>> keyEvents;
    QList<QByteArray> cutTexts;
    QList<qint32> encodings;

private:
    enum class Phase { Version, Security, Challenge, ClientInit, Messages };
    struct PasswordCheck {
        QList<bool> verdicts;
        bool next() { return verdicts.size() > 1 ? verdicts.takeFirst() : verdicts.front(); }
    };

    void accept();
    void readClient();
    bool handleOneMessage();
    bool take(qsizetype length, const std::function<void(const QByteArray&)>& handle);
    quint16 u16(qsizetype at) const;
    bool handleClientMessage();
    void readPixelFormat(const QByteArray& message);
    void readEncodings(const QByteArray& message);
    void sendServerInit();
    void sendWhenAsked();
    void queue(std::function<void()> update);
    void sendNewSize();
    void sendRect(const QRect& rect);
    QByteArray pixelBytes(QRgb rgb) const;

    QTcpServer m_server;
    QTcpSocket* m_client = nullptr;
    QImage m_picture;
    QByteArray m_input;
    Phase m_phase = Phase::Version;
    bool m_asked = false;
    std::optional<PasswordCheck> m_password;
    bool m_bigEndian = false;
    std::array<int, 3> m_shifts{16, 8, 0};
    std::deque<std::function<void()>> m_updates;
};

} // namespace ostrel::test
