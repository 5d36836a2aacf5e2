// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's connection against a real screen server: each lossless
// encoding must bring the X display's picture over pixel for pixel.
#include "viewer/RfbConnection.h"
#include "xvnc/TestPicture.h"
#include "xvnc/XvncServer.h"

#include <QSignalSpy>
#include <QtTest>

using ostrel::test::XvncServer;

namespace {

constexpr int pictureWait = 10000;

} // namespace

class TestXvncEncodings : public QObject {
    Q_OBJECT

    XvncServer server;
    QSize screen{360, 640};

private Q_SLOTS:
    void initTestCase();
    void pictureArrivesUnchanged_data();
    void pictureArrivesUnchanged();
};

void TestXvncEncodings::initTestCase() {
    if (!XvncServer::installed()) {
#ifdef Q_OS_MACOS
        QSKIP("Xvnc is not available on macOS");
#else
        QFAIL("Xvnc is not installed (scripts/install-deps.sh installs it)");
#endif
    }
    const QString why = server.start({screen, std::nullopt});
    QVERIFY2(why.isEmpty(), qPrintable(why));
}

void TestXvncEncodings::pictureArrivesUnchanged_data() {
    QTest::addColumn<QString>("encodings");
    QTest::addColumn<int>("compressLevel");
    QTest::addColumn<QString>("usedName"); // as the server's log names it
    QTest::newRow("tight without JPEG, best compression")
        << QStringLiteral("tight") << 9 << QStringLiteral("Tight");
    QTest::newRow("tight without JPEG, fastest")
        << QStringLiteral("tight") << 1 << QStringLiteral("Tight");
    QTest::newRow("zrle") << QStringLiteral("zrle") << -1 << QStringLiteral("ZRLE");
    QTest::newRow("hextile") << QStringLiteral("hextile") << -1 << QStringLiteral("Hextile");
}

void TestXvncEncodings::pictureArrivesUnchanged() {
    QFETCH(QString, encodings);
    QFETCH(int, compressLevel);
    QFETCH(QString, usedName);
    const QImage expected = ostrel::test::xvncTestPicture(screen);
    RfbConnection connection(QStringLiteral("127.0.0.1"), server.port());
    connection.setEncoding({encodings, compressLevel, -1, false});
    QSignalSpy ended(&connection, &RfbConnection::ended);
    connection.open();

    QTRY_VERIFY2_WITH_TIMEOUT(
        ostrel::test::samePicture(connection.image(), expected),
        qPrintable(ostrel::test::pictureDifference(connection.image(), expected) +
                   QStringLiteral("\n") + server.diagnostics()),
        pictureWait);
    QCOMPARE(ended.count(), 0);
    connection.close();
    QTRY_VERIFY_WITH_TIMEOUT(!connection.isRunning(), pictureWait);
    // The server's account of the client that left: what it encoded with.
    QTRY_VERIFY_WITH_TIMEOUT(server.lastClientReport().contains(QStringLiteral("closed: ")),
                             pictureWait);
    QVERIFY2(
        server.lastClientReport().contains(QStringLiteral("EncodeManager:   %1:").arg(usedName)),
        qPrintable(server.lastClientReport()));
}

QTEST_GUILESS_MAIN(TestXvncEncodings)
#include "test_xvnc_encodings.moc"
