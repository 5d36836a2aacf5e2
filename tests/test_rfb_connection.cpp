// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's connection against a tiny screen server in the test.
#include "viewer/RfbConnection.h"

#include "support/SilentListener.h"
#include "support/TinyScreenServer.h"

#include <QElapsedTimer>
#include <QImage>
#include <QSignalSpy>
#include <QtTest>

#include <array>
#include <csignal>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace ostrel::test;

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
    void writingToAServerThatWentAwayEndsTheConnection();
    void closingEndsTheThreadWithinASecond_data();
    void closingEndsTheThreadWithinASecond();
    void closingMidConnectEndsTheThreadWithinASecond();
    void cursorShapeArrives();
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

// The phone unplugged while the pointer moves: the writes that follow fail,
// and must end the connection rather than the program, even one whose
// SIGPIPE is as the system gives it.
void TestRfbConnection::writingToAServerThatWentAwayEndsTheConnection() {
    TinyScreenServer server(testPicture(QSize(16, 16), 0));
    RfbConnection connection(QStringLiteral("127.0.0.1"), server.port());
    QSignalSpy connected(&connection, &RfbConnection::connected);
    QSignalSpy ended(&connection, &RfbConnection::ended);
    connection.open();
    QVERIFY(connected.wait(networkWait));
    // Qt's own sockets have set SIGPIPE aside by now, once for the process.
    struct sigaction asFound {};
    struct sigaction systemDefault {};
    systemDefault.sa_handler = SIG_DFL;
    ::sigaction(SIGPIPE, &systemDefault, &asFound);
    const auto restore = qScopeGuard([&] { ::sigaction(SIGPIPE, &asFound, nullptr); });
    QTimer moving;
    QObject::connect(&moving, &QTimer::timeout, &connection, [&] {
        for (int x = 0; x < 400; ++x)
            connection.sendPointer(QPoint(x % 16, x % 16), 1);
    });
    moving.start(0);
    QTest::qWait(50);
    server.resetClient();
    QTRY_VERIFY_WITH_TIMEOUT(!ended.isEmpty(), networkWait);
    moving.stop();
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

void TestRfbConnection::closingMidConnectEndsTheThreadWithinASecond() {
    SilentListener silent;
    RfbConnection connection(QStringLiteral("127.0.0.1"), silent.port);
    QSignalSpy stopped(&connection, &RfbConnection::stopped);
    QSignalSpy ended(&connection, &RfbConnection::ended);
    QSignalSpy connected(&connection, &RfbConnection::connected);
    connection.open();
    QTest::qWait(300);
    QVERIFY2(ended.isEmpty() && connected.isEmpty(), "the listener answered after all");

    QElapsedTimer clock;
    clock.start();
    connection.close();
    QVERIFY(stopped.wait(1000));
    QVERIFY(clock.elapsed() < 1000);
    QCOMPARE(ended.count(), 0);
}

void TestRfbConnection::cursorShapeArrives() {
    TinyScreenServer server(testPicture(QSize(16, 16), 0));
    RfbConnection connection(QStringLiteral("127.0.0.1"), server.port());
    QSignalSpy shapes(&connection, &RfbConnection::cursorShapeChanged);
    connection.open();
    QImage shape(QSize(5, 3), QImage::Format_ARGB32);
    shape.fill(Qt::transparent);
    shape.setPixel(0, 0, qRgb(200, 10, 20));
    shape.setPixel(4, 2, qRgb(1, 2, 3));
    shape.setPixel(2, 1, qRgb(255, 255, 255));
    server.sendCursor(shape, QPoint(2, 1));

    QVERIFY(shapes.wait(networkWait));
    QCOMPARE(shapes.front().at(0).value<QImage>(), shape);
    QCOMPARE(shapes.front().at(1).toPoint(), QPoint(2, 1));
    connection.close();
    QTRY_VERIFY_WITH_TIMEOUT(!connection.isRunning(), networkWait);
}

QTEST_GUILESS_MAIN(TestRfbConnection)
#include "test_rfb_connection.moc"
