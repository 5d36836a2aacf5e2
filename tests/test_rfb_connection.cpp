// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's connection against a tiny screen server in the test: no
// security, Raw pixels of a known picture, a screen that changes size.
#include "viewer/RfbConnection.h"

#include <QElapsedTimer>
#include <QImage>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtEndian>
#include <QtTest>

#include <array>
#include <cstdio>
#include <deque>
#include <functional>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QImage testPicture(QSize size, int seed) {
    QImage picture(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            picture.setPixel(x, y,
                             qRgb((x * 5 + seed) & 0xff, (y * 3) & 0xff, (x + y + seed) & 0xff));
    return picture;
}

struct PointerEvent {
    QPoint position;
    int mask = 0;
    bool operator==(const PointerEvent&) const = default;
};

// Serves one client. It answers each update request with the next queued
// update, and reads pixels in the layout the client asked for.
class TinyScreenServer : public QObject {
public:
    explicit TinyScreenServer(QImage picture) : m_picture(std::move(picture)) {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] { accept(); });
        m_updates.push_back([this] { sendPicture(); });
    }

    quint16 port() const { return m_server.serverPort(); }

    void changeSize(QImage picture) {
        m_picture = std::move(picture);
        m_updates.push_back([this] { sendNewSize(); });
        m_updates.push_back([this] { sendPicture(); });
        sendWhenAsked();
    }

    // Half a pixel message: the client stays blocked in its read.
    void sendHalfAnUpdate() {
        m_updates.push_back([this] {
            QByteArray message = updateHeader(1);
            message += rectHeader(QRect(0, 0, 8, 8), 0);
            message += QByteArray(100, '\0');
            m_client->write(message);
        });
        sendWhenAsked();
    }

    // Half-closed, so that the client reads an orderly end even when a request
    // of its own is still on the way here (closing outright would reset).
    void closeClient() { ::shutdown(int(m_client->socketDescriptor()), SHUT_WR); }

    void resetClient() {
        const linger abrupt{1, 0};
        ::setsockopt(int(m_client->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abrupt,
                     sizeof abrupt);
        m_client->close();
    }

    // Asks for a password, accepting any answer or none.
    void askPassword(bool accepts) { m_password = PasswordCheck{accepts}; }

    QList<QByteArray> passwordResponses;
    QList<PointerEvent> pointerEvents;
    QList<QPair<quint32, bool>> keyEvents;
    QList<qint32> encodings;

private:
    void accept() {
        m_client = m_server.nextPendingConnection();
        connect(m_client, &QTcpSocket::readyRead, this, [this] { readClient(); });
        m_client->write("RFB 003.008\n");
    }

    void readClient() {
        m_input += m_client->readAll();
        while (handleOneMessage()) {
        }
    }

    bool handleOneMessage() {
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
                if (m_password->accepts) {
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

    template <typename F> bool take(qsizetype length, F handle) {
        if (m_input.size() < length)
            return false;
        const QByteArray message = m_input.left(length);
        m_input.remove(0, length);
        handle(message);
        return true;
    }

    quint16 u16(qsizetype at) const { return qFromBigEndian<quint16>(m_input.constData() + at); }

    bool handleClientMessage() {
        if (m_input.isEmpty())
            return false;
        switch (quint8(m_input[0])) {
        case 0:
            return take(20, [this](const QByteArray& m) { readPixelFormat(m); });
        case 2:
            return m_input.size() >= 4 && take(4 + 4 * u16(2), [this](const QByteArray& m) {
                       encodings.clear();
                       for (qsizetype at = 4; at < m.size(); at += 4)
                           encodings.append(qFromBigEndian<qint32>(m.constData() + at));
                   });
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
            return m_input.size() >= 8 && take(8 + qFromBigEndian<quint32>(m_input.constData() + 4),
                                               [](const QByteArray&) {});
        default:
            QTest::qFail("unknown client message", __FILE__, __LINE__);
            return false;
        }
    }

    void readPixelFormat(const QByteArray& message) {
        QCOMPARE(quint8(message[4]), quint8(32));
        m_bigEndian = message[6] != 0;
        m_shifts = {quint8(message[14]), quint8(message[15]), quint8(message[16])};
    }

    void sendServerInit() {
        QByteArray init;
        appendU16(init, m_picture.width());
        appendU16(init, m_picture.height());
        init += QByteArray("\x20\x18\x00\x01\x00\xff\x00\xff\x00\xff\x10\x08\x00\0\0\0", 16);
        const QByteArray name("tiny");
        init += QByteArray(4, '\0');
        qToBigEndian<quint32>(quint32(name.size()), init.data() + init.size() - 4);
        m_client->write(init + name);
    }

    void sendWhenAsked() {
        if (!m_asked || m_updates.empty() || m_client == nullptr)
            return;
        m_asked = false;
        const auto update = m_updates.front();
        m_updates.pop_front();
        update();
    }

    static void appendU16(QByteArray& to, int value) {
        to += char((value >> 8) & 0xff);
        to += char(value & 0xff);
    }

    static QByteArray updateHeader(int rects) {
        QByteArray header(2, '\0');
        appendU16(header, rects);
        return header;
    }

    static QByteArray rectHeader(const QRect& rect, qint32 encoding) {
        QByteArray header;
        appendU16(header, rect.x());
        appendU16(header, rect.y());
        appendU16(header, rect.width());
        appendU16(header, rect.height());
        header += QByteArray(4, '\0');
        qToBigEndian<qint32>(encoding, header.data() + 8);
        return header;
    }

    void sendNewSize() {
        constexpr qint32 desktopSize = -223;
        m_client->write(updateHeader(1) + rectHeader(m_picture.rect(), desktopSize));
    }

    void sendPicture() {
        QByteArray message = updateHeader(1) + rectHeader(m_picture.rect(), 0);
        for (int y = 0; y < m_picture.height(); ++y)
            for (int x = 0; x < m_picture.width(); ++x)
                message += pixelBytes(m_picture.pixel(x, y));
        m_client->write(message);
    }

    QByteArray pixelBytes(QRgb rgb) const {
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

    struct PasswordCheck {
        bool accepts = true;
    };

    enum class Phase { Version, Security, Challenge, ClientInit, Messages };

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

constexpr int networkWait = 5000;

} // namespace

class TestRfbConnection : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void imageFollowsTheScreenAndItsSize();
    void passwordIsAskedFor_data();
    void passwordIsAskedFor();
    void pointerAndKeysReachTheServer();
    void encodingIsPinnedBeforeOpening_data();
    void encodingIsPinnedBeforeOpening();
    void libraryLogStaysOffOurOutput();
    void endsWithTheServersReason_data();
    void endsWithTheServersReason();
    void closingEndsTheThreadWithinASecond_data();
    void closingEndsTheThreadWithinASecond();
};

void TestRfbConnection::imageFollowsTheScreenAndItsSize() {
    const QImage first = testPicture(QSize(64, 48), 0);
    TinyScreenServer server(first);
    RfbConnection connection(QStringLiteral("127.0.0.1"), server.port());
    QSignalSpy connected(&connection, &RfbConnection::connected);
    QSignalSpy sizes(&connection, &RfbConnection::sizeChanged);
    connection.open();

    QTRY_VERIFY_WITH_TIMEOUT(connection.image() == first, networkWait);
    QCOMPARE(connected.count(), 1);
    QCOMPARE(connected.front().front().toSize(), first.size());

    // The phone turned: a taller screen with other content.
    const QImage turned = testPicture(QSize(40, 72), 77);
    server.changeSize(turned);
    QTRY_VERIFY_WITH_TIMEOUT(connection.image() == turned, networkWait);
    QCOMPARE(sizes.back().front().toSize(), turned.size());

    connection.close();
    QTRY_VERIFY_WITH_TIMEOUT(!connection.isRunning(), networkWait);
}

void TestRfbConnection::passwordIsAskedFor_data() {
    QTest::addColumn<bool>("accepts");
    QTest::newRow("accepted") << true;
    QTest::newRow("refused") << false;
}

void TestRfbConnection::passwordIsAskedFor() {
    QFETCH(bool, accepts);
    const QImage picture = testPicture(QSize(24, 24), 3);
    TinyScreenServer server(picture);
    server.askPassword(accepts);
    RfbConnection connection(QStringLiteral("127.0.0.1"), server.port());
    QSignalSpy asked(&connection, &RfbConnection::passwordNeeded);
    QSignalSpy ended(&connection, &RfbConnection::ended);
    connection.open();

    QVERIFY(asked.wait(networkWait));
    QVERIFY(server.passwordResponses.isEmpty());
    connection.providePassword(QStringLiteral("secret"));
    QTRY_COMPARE_WITH_TIMEOUT(server.passwordResponses.size(), 1, networkWait);
    if (accepts) {
        QTRY_VERIFY_WITH_TIMEOUT(connection.image() == picture, networkWait);
        QCOMPARE(ended.count(), 0);
        connection.close();
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, networkWait);
        QCOMPARE(ended.front().at(0).value<RfbConnection::EndReason>(),
                 RfbConnection::EndReason::PasswordRefused);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!connection.isRunning(), networkWait);
    QCOMPARE(asked.count(), 1);
}

void TestRfbConnection::pointerAndKeysReachTheServer() {
    TinyScreenServer server(testPicture(QSize(64, 48), 0));
    RfbConnection connection(QStringLiteral("127.0.0.1"), server.port());
    QSignalSpy connected(&connection, &RfbConnection::connected);
    connection.open();
    QVERIFY(connected.wait(networkWait));

    connection.sendPointer(QPoint(10, 40), 1);
    connection.sendPointer(QPoint(63, 0), 0);
    connection.sendKey(0xff0d, true);
    connection.sendKey(0xff0d, false);

    const QList<PointerEvent> expected{{QPoint(10, 40), 1}, {QPoint(63, 0), 0}};
    QTRY_COMPARE_WITH_TIMEOUT(server.pointerEvents, expected, networkWait);
    const QList<QPair<quint32, bool>> keys{{0xff0du, true}, {0xff0du, false}};
    QTRY_COMPARE_WITH_TIMEOUT(server.keyEvents, keys, networkWait);
    connection.close();
    QTRY_VERIFY_WITH_TIMEOUT(!connection.isRunning(), networkWait);
}

void TestRfbConnection::encodingIsPinnedBeforeOpening_data() {
    QTest::addColumn<QString>("encodings");
    QTest::addColumn<int>("compressLevel");
    QTest::addColumn<int>("qualityLevel");
    QTest::addColumn<bool>("jpeg");
    QTest::addColumn<QList<qint32>>("present");
    QTest::addColumn<QList<qint32>>("absent");

    constexpr qint32 raw = 0, copyRect = 1, tight = 7, zrle = 16;
    constexpr qint32 compress2 = -256 + 2, quality7 = -32 + 7;
    QTest::newRow("library's defaults")
        << QString() << -1 << -1 << true << QList<qint32>{tight, zrle, copyRect, raw}
        << QList<qint32>{compress2, quality7};
    QTest::newRow("raw only") << "raw" << -1 << -1 << true << QList<qint32>{raw}
                              << QList<qint32>{tight, zrle, copyRect};
    QTest::newRow("tight with levels")
        << "tight copyrect" << 2 << 7 << true << QList<qint32>{tight, copyRect, compress2, quality7}
        << QList<qint32>{zrle};
    QTest::newRow("tight without jpeg")
        << "tight" << 2 << 7 << false << QList<qint32>{tight, compress2} << QList<qint32>{quality7};
}

// The benchmark compares us with another viewer at the same settings, so what
// is asked for must be exactly what reaches the server.
void TestRfbConnection::encodingIsPinnedBeforeOpening() {
    QFETCH(QString, encodings);
    QFETCH(int, compressLevel);
    QFETCH(int, qualityLevel);
    QFETCH(bool, jpeg);
    QFETCH(QList<qint32>, present);
    QFETCH(QList<qint32>, absent);

    TinyScreenServer server(testPicture(QSize(8, 8), 0));
    RfbConnection connection(QStringLiteral("127.0.0.1"), server.port());
    connection.setEncoding({encodings, compressLevel, qualityLevel, jpeg});
    connection.open();
    QTRY_VERIFY_WITH_TIMEOUT(!server.encodings.isEmpty(), networkWait);
    QCOMPARE(server.encodings.front(), present.front());
    for (qint32 encoding : present)
        QVERIFY2(server.encodings.contains(encoding), qPrintable(QString::number(encoding)));
    for (qint32 encoding : absent)
        QVERIFY2(!server.encodings.contains(encoding), qPrintable(QString::number(encoding)));
    connection.close();
    QTRY_VERIFY_WITH_TIMEOUT(!connection.isRunning(), networkWait);
}

// Standard output carries the command line's results and standard error the
// program's own messages: the library, which logs each handshake and each
// failure, must say nothing on either.
void TestRfbConnection::libraryLogStaysOffOurOutput() {
    QTemporaryFile capture;
    QVERIFY(capture.open());
    std::fflush(stdout);
    std::fflush(stderr);
    const int savedOutput = ::dup(STDOUT_FILENO);
    const int savedError = ::dup(STDERR_FILENO);
    ::dup2(capture.handle(), STDOUT_FILENO);
    ::dup2(capture.handle(), STDERR_FILENO);
    bool bothDone = false;
    bool bothStopped = false;
    {
        TinyScreenServer server(testPicture(QSize(8, 8), 0));
        RfbConnection reached(QStringLiteral("127.0.0.1"), server.port());
        RfbConnection unreached(QStringLiteral("127.0.0.1"), 1);
        QSignalSpy connected(&reached, &RfbConnection::connected);
        QSignalSpy ended(&unreached, &RfbConnection::ended);
        reached.open();
        unreached.open();
        bothDone = connected.wait(networkWait) && (!ended.isEmpty() || ended.wait(networkWait));
        reached.close();
        bothStopped = QTest::qWaitFor(
            [&] { return !reached.isRunning() && !unreached.isRunning(); }, networkWait);
    }
    std::fflush(stdout);
    std::fflush(stderr);
    ::dup2(savedOutput, STDOUT_FILENO);
    ::dup2(savedError, STDERR_FILENO);
    ::close(savedOutput);
    ::close(savedError);
    QVERIFY(bothDone);
    QVERIFY(bothStopped);
    QVERIFY(capture.seek(0));
    QCOMPARE(capture.readAll(), QByteArray());
}

void TestRfbConnection::endsWithTheServersReason_data() {
    QTest::addColumn<QString>("ending");
    QTest::addColumn<RfbConnection::EndReason>("expected");

    QTest::newRow("server closes") << "close" << RfbConnection::EndReason::Closed;
    QTest::newRow("server resets") << "reset" << RfbConnection::EndReason::ServerGone;
    QTest::newRow("nothing listens") << "none" << RfbConnection::EndReason::Refused;
}

void TestRfbConnection::endsWithTheServersReason() {
    QFETCH(QString, ending);
    QFETCH(RfbConnection::EndReason, expected);

    auto server = std::make_unique<TinyScreenServer>(testPicture(QSize(16, 16), 0));
    const quint16 port = server->port();
    if (ending == QLatin1String("none"))
        server.reset();
    RfbConnection connection(QStringLiteral("127.0.0.1"), port);
    QSignalSpy connected(&connection, &RfbConnection::connected);
    QSignalSpy ended(&connection, &RfbConnection::ended);
    connection.open();
    if (server) {
        QVERIFY(connected.wait(networkWait));
        if (ending == QLatin1String("close"))
            server->closeClient();
        else
            server->resetClient();
    }
    QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, networkWait);
    QCOMPARE(ended.front().at(0).value<RfbConnection::EndReason>(), expected);
    QVERIFY(!ended.front().at(1).toString().isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!connection.isRunning(), networkWait);
}

void TestRfbConnection::closingEndsTheThreadWithinASecond_data() {
    QTest::addColumn<bool>("midMessage");
    QTest::newRow("waiting for a message") << false;
    QTest::newRow("blocked inside a message") << true;
}

void TestRfbConnection::closingEndsTheThreadWithinASecond() {
    QFETCH(bool, midMessage);
    const QImage picture = testPicture(QSize(32, 32), 0);
    TinyScreenServer server(picture);
    RfbConnection connection(QStringLiteral("127.0.0.1"), server.port());
    QSignalSpy stopped(&connection, &RfbConnection::stopped);
    QSignalSpy ended(&connection, &RfbConnection::ended);
    connection.open();
    QTRY_VERIFY_WITH_TIMEOUT(connection.image() == picture, networkWait);
    if (midMessage) {
        server.sendHalfAnUpdate();
        // Let the half message reach the worker before we close.
        QTest::qWait(100);
    }

    QElapsedTimer clock;
    clock.start();
    connection.close();
    QVERIFY(stopped.wait(1000));
    QVERIFY(clock.elapsed() < 1000);
    QVERIFY(!connection.isRunning());
    QCOMPARE(ended.count(), 0);
}

QTEST_GUILESS_MAIN(TestRfbConnection)
#include "test_rfb_connection.moc"
