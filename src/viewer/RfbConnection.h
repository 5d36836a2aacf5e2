// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>

class QThread;
struct RfbSharedState;

// One connection to a screen server. The client library runs on a thread of
// its own, because its reads block until a whole message has arrived; the GUI
// thread only ever reads the copy of the screen this object keeps.
class RfbConnection : public QObject {
    Q_OBJECT
public:
    enum class EndReason { Refused, NoAnswer, PasswordRefused, Closed, ServerGone };
    Q_ENUM(EndReason)

    // What the connection asks the server for; -1 leaves the library's own
    // choice, as does an empty list of encodings.
    struct Encoding {
        QString encodings;
        int compressLevel = -1;
        int qualityLevel = -1;
        bool jpeg = true;
    };

    RfbConnection(QString host, quint16 port, QObject* parent = nullptr);
    ~RfbConnection() override;

    // Takes effect at the next open().
    void setEncoding(const Encoding& encoding);
    void open();
    // Returns at once: the socket is shut down so that a blocked read ends,
    // and stopped() follows when the thread has finished.
    void close();
    bool isRunning() const;

    void sendPointer(QPoint framePosition, int buttonMask);
    void sendKey(quint32 keySymbol, bool down);
    void providePassword(const QString& password);
    // Puts `text` (Latin-1, as the protocol carries it) on the server's clipboard.
    void sendCutText(const QByteArray& text);

    // The screen as of the last finished update. A copy kept past the next
    // update costs the worker a copy of the whole screen: painting goes
    // through readImage() instead.
    QImage image() const;
    // Calls `read` with the screen, which stays still until it returns.
    void readImage(const std::function<void(const QImage&)>& read) const;

Q_SIGNALS:
    void connected(QSize size);
    void frameChanged(QRect rect);
    // The same update, rectangle by rectangle.
    void frameRegionChanged(const QRegion& region);
    void sizeChanged(QSize size);
    void passwordNeeded();
    // The pointer's shape as the server draws it, with its hotspot.
    void cursorShapeChanged(const QImage& shape, QPoint hotspot);
    // The server's clipboard changed: `text` is Latin-1, as the protocol carries it.
    void cutTextReceived(const QByteArray& text);
    void ended(RfbConnection::EndReason reason, const QString& text);
    void stopped();

private:
    QString m_host;
    quint16 m_port;
    Encoding m_encoding;
    std::shared_ptr<RfbSharedState> m_state;
    QThread* m_thread = nullptr;
};
