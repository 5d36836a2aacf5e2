// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's connection against a real screen server that asks for VNC
// authentication: the right password shows the screen, a wrong one ends with
// the refusal.
#include "viewer/RfbConnection.h"
#include "xvnc/TestPicture.h"
#include "xvnc/XvncServer.h"

#include <QSignalSpy>
#include <QtTest>

using ostrel::test::XvncServer;

namespace {

constexpr int serverWait = 10000;
const QString serverPassword = QStringLiteral("sesame");

} // namespace

class TestXvncPassword : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void passwordDecides_data();
    void passwordDecides();
};

void TestXvncPassword::passwordDecides_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("the right password") << serverPassword << true;
    QTest::newRow("a wrong password") << QStringLiteral("sesam") << false;
    QTest::newRow("an empty password") << QString() << false;
}

void TestXvncPassword::passwordDecides() {
    QFETCH(QString, typed);
    QFETCH(bool, accepted);
    if (!XvncServer::installed()) {
#ifdef Q_OS_MACOS
        QSKIP("Xvnc is not available on macOS");
#else
        QFAIL("Xvnc is not installed (scripts/install-deps.sh installs it)");
#endif
    }
    const QSize screen(120, 90);
    XvncServer server;
    const QString why = server.start({screen, serverPassword});
    QVERIFY2(why.isEmpty(), qPrintable(why));
    RfbConnection connection(QStringLiteral("127.0.0.1"), server.port());
    // Lossless, so that the picture can be compared exactly.
    connection.setEncoding({QStringLiteral("tight"), -1, -1, false});
    QSignalSpy asked(&connection, &RfbConnection::passwordNeeded);
    QSignalSpy ended(&connection, &RfbConnection::ended);
    connection.open();

    QVERIFY2(asked.wait(serverWait), qPrintable(server.diagnostics()));
    connection.providePassword(typed);
    if (accepted) {
        const QImage expected = ostrel::test::xvncTestPicture(screen);
        QTRY_VERIFY2_WITH_TIMEOUT(
            ostrel::test::samePicture(connection.image(), expected),
            qPrintable(ostrel::test::pictureDifference(connection.image(), expected) +
                       QStringLiteral("\n") + server.diagnostics()),
            serverWait);
        QCOMPARE(ended.count(), 0);
        connection.close();
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, serverWait);
        QCOMPARE(ended.front().at(0).value<RfbConnection::EndReason>(),
                 RfbConnection::EndReason::PasswordRefused);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!connection.isRunning(), serverWait);
    QCOMPARE(asked.count(), 1);
}

QTEST_GUILESS_MAIN(TestXvncPassword)
#include "test_xvnc_password.moc"
