// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Waits.h"
#include "core/server/RfbGreeting.h"
#include "core/server/RfbGreetingWait.h"
#include "support/TestPorts.h"

#include <QCoro/QCoroTask>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>

using namespace ostrel;
using namespace std::chrono_literals;

namespace {

// A server on 127.0.0.1 that answers each connection with the next of its
// answers (the last repeats); an empty answer closes at once, nullopt says
// nothing. It keeps what clients sent and whether they have gone.
class GreetingServer {
public:
    explicit GreetingServer(QList<std::optional<QByteArray>> answers)
        : answers_(std::move(answers)) {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] { accept(); });
    }

    TcpPort port() const { return test::portOf(server_.serverPort()); }
    int connections = 0;
    QByteArray received;
    QList<QPointer<QTcpSocket>> open;

    bool allClosedByClient() const {
        for (const QPointer<QTcpSocket>& socket : open) {
            if (socket && socket->state() != QAbstractSocket::UnconnectedState)
                return false;
        }
        return true;
    }

private:
    void accept() {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            const std::optional<QByteArray> answer =
                answers_.at(std::min<qsizetype>(connections, answers_.size() - 1));
            ++connections;
            open.append(socket);
            QObject::connect(socket, &QTcpSocket::readyRead, socket,
                             [this, socket] { received += socket->readAll(); });
            if (!answer)
                continue;
            if (answer->isEmpty())
                socket->disconnectFromHost();
            else
                socket->write(*answer);
        }
    }

    QTcpServer server_;
    QList<std::optional<QByteArray>> answers_;
};

TcpPort closedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return test::portOf(probe.serverPort());
}

} // namespace

class AdbServerGreetingTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void knowsAGreeting_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("greeting");
        QTest::newRow("3.8") << QByteArray("RFB 003.008\n") << true;
        QTest::newRow("3.3") << QByteArray("RFB 003.003\n") << true;
        QTest::newRow("any digits") << QByteArray("RFB 004.001\n") << true;
        QTest::newRow("no line end") << QByteArray("RFB 003.008") << false;
        QTest::newRow("CR for LF") << QByteArray("RFB 003.008\r") << false;
        QTest::newRow("one byte more") << QByteArray("RFB 003.008\n\n") << false;
        QTest::newRow("lower case") << QByteArray("rfb 003.008\n") << false;
        QTest::newRow("digits out of place") << QByteArray("RFB 03.0008\n") << false;
        QTest::newRow("a letter for a digit") << QByteArray("RFB 00a.008\n") << false;
        QTest::newRow("comma") << QByteArray("RFB 003,008\n") << false;
        QTest::newRow("tab for space") << QByteArray("RFB\t003.008\n") << false;
        QTest::newRow("NUL") << QByteArray("RFB 003.00\0\n", 12) << false;
        QTest::newRow("another protocol") << QByteArray("SSH-2.0-x\r\n\0", 12) << false;
        QTest::newRow("empty") << QByteArray() << false;
    }
    void knowsAGreeting() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, greeting);
        QCOMPARE(isRfbGreeting(bytes), greeting);
    }

    // The client leaves without a word: the server must not take it for a
    // viewer that chose a version.
    void readsTheGreetingAndLeavesWithoutAnswering() {
        GreetingServer server({QByteArray("RFB 003.008\n")});
        RfbGreetingWait wait;
        const RfbGreetingResult result =
            QCoro::waitFor(wait.waitForGreeting(server.port(), Waits{}.forwardGreeting));
        QVERIFY(result.greeted);
        QCOMPARE(result.greeting, QByteArray("RFB 003.008\n"));
        QTRY_VERIFY_WITH_TIMEOUT(server.allClosedByClient(), 5000);
        QCOMPARE(server.received, QByteArray());
        QCOMPARE(server.connections, 1);
    }

    // A forward accepts and closes until the phone's server is up.
    void triesAgainUntilAServerGreets() {
        GreetingServer server({QByteArray(), QByteArray(), QByteArray("RFB 003.008\n")});
        RfbGreetingWait wait;
        const RfbGreetingResult result =
            QCoro::waitFor(wait.waitForGreeting(server.port(), Waits{}.viewGreeting));
        QVERIFY(result.greeted);
        QCOMPARE(server.connections, 3);
    }

    void greetingSplitAcrossReads() {
        GreetingServer server({std::nullopt});
        RfbGreetingWait wait;
        QCoro::Task<RfbGreetingResult> waiting = wait.waitForGreeting(server.port(), 5s);
        QTRY_COMPARE_WITH_TIMEOUT(server.connections, 1, 5000);
        server.open.first()->write("RFB 003");
        server.open.first()->flush();
        QTRY_VERIFY_WITH_TIMEOUT(!server.open.first()->bytesToWrite(), 5000);
        server.open.first()->write(".008\n");
        QVERIFY(QCoro::waitFor(waiting).greeted);
    }

    void noGreetingWithinTheLimit_data() {
        QTest::addColumn<bool>("listening");
        QTest::addColumn<std::optional<QByteArray>>("answer");
        QTest::newRow("nothing listens") << false << std::optional<QByteArray>();
        QTest::newRow("accepts and closes") << true << std::optional(QByteArray());
        QTest::newRow("silent") << true << std::optional<QByteArray>();
        QTest::newRow("another protocol") << true << std::optional(QByteArray("SSH-2.0-x\r\n\r\n"));
        QTest::newRow("a greeting cut short") << true << std::optional(QByteArray("RFB 003.0"));
    }
    void noGreetingWithinTheLimit() {
        QFETCH(bool, listening);
        QFETCH(std::optional<QByteArray>, answer);
        std::unique_ptr<GreetingServer> server;
        if (listening)
            server = std::make_unique<GreetingServer>(QList{answer});
        RfbGreetingWait wait;
        const RfbGreetingResult result =
            QCoro::waitFor(wait.waitForGreeting(server ? server->port() : closedPort(), 600ms));
        QVERIFY(!result.greeted);
        QVERIFY(!result.cancelled);
        QVERIFY(result.greeting.isEmpty());
        if (server)
            QTRY_VERIFY_WITH_TIMEOUT(server->allClosedByClient(), 5000);
    }

    void cancelEndsTheWaitAtOnce_data() {
        QTest::addColumn<bool>("byDestruction");
        QTest::newRow("cancel()") << false;
        QTest::newRow("destroyed") << true;
    }
    void cancelEndsTheWaitAtOnce() {
        QFETCH(bool, byDestruction);
        GreetingServer server({std::nullopt});
        auto wait = std::make_unique<RfbGreetingWait>();
        QCoro::Task<RfbGreetingResult> waiting = wait->waitForGreeting(server.port(), 60s);
        QTRY_COMPARE_WITH_TIMEOUT(server.connections, 1, 5000);
        if (byDestruction)
            wait.reset();
        else
            wait->cancel();
        QVERIFY(waiting.isReady());
        const RfbGreetingResult result = QCoro::waitFor(waiting);
        QVERIFY(result.cancelled);
        QVERIFY(!result.greeted);
        QTRY_VERIFY_WITH_TIMEOUT(server.allClosedByClient(), 5000);
    }
};

QTEST_GUILESS_MAIN(AdbServerGreetingTest)
#include "test_adb_server_greeting.moc"
