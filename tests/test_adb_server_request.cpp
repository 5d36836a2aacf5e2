// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/server/HostServiceRequest.h"
#include "support/FakeAdbServer.h"

#include <QCoro/QCoroTask>
#include <QTest>

using namespace ostrel;
using ostrel::test::FakeAdbServer;
using Outcome = HostServiceReply::Outcome;

Q_DECLARE_METATYPE(FakeAdbServer::Reply)

namespace {

constexpr std::chrono::milliseconds Limit{1000};

QString described(Outcome outcome) {
    switch (outcome) {
    case Outcome::Ok:
        return QStringLiteral("ok");
    case Outcome::NoServer:
        return QStringLiteral("no server");
    case Outcome::Failed:
        return QStringLiteral("failed");
    case Outcome::TimedOut:
        return QStringLiteral("timed out");
    case Outcome::ProtocolError:
        return QStringLiteral("protocol error");
    }
    return {};
}

} // namespace

class AdbServerRequestTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void tellsEveryEndApart_data() {
        QTest::addColumn<FakeAdbServer::Reply>("reply");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QString>("message");
        QTest::newRow("payload") << FakeAdbServer::okay("R58M123 tcp:5901 tcp:5901\n") << "ok"
                                 << QByteArray("R58M123 tcp:5901 tcp:5901\n") << "";
        QTest::newRow("empty payload") << FakeAdbServer::okay("") << "ok" << QByteArray() << "";
        QTest::newRow("payload, server keeps the connection")
            << FakeAdbServer::Reply{"OKAY0003abc", false} << "ok" << QByteArray("abc") << "";
        QTest::newRow("FAIL") << FakeAdbServer::fail("device offline") << "failed" << QByteArray()
                              << "device offline";
        QTest::newRow("hangs") << FakeAdbServer::hang() << "timed out" << QByteArray() << "";
        QTest::newRow("OKAY, then nothing")
            << FakeAdbServer::Reply{"OKAY", false} << "timed out" << QByteArray() << "";
        QTest::newRow("closes at once")
            << FakeAdbServer::Reply{"", true} << "protocol error" << QByteArray() << "";
        QTest::newRow("closes inside the payload")
            << FakeAdbServer::Reply{"OKAY0010R58M", true} << "protocol error" << QByteArray() << "";
        QTest::newRow("closes after OKAY")
            << FakeAdbServer::Reply{"OKAY", true} << "protocol error" << QByteArray() << "";
        QTest::newRow("bad length") << FakeAdbServer::Reply{"OKAYxyz1R58M", false}
                                    << "protocol error" << QByteArray() << "";
        QTest::newRow("not adb at all")
            << FakeAdbServer::Reply{"HTTP/1.1 400 Bad Request\r\n\r\n", true} << "protocol error"
            << QByteArray() << "";
    }
    void tellsEveryEndApart() {
        QFETCH(FakeAdbServer::Reply, reply);
        QFETCH(QString, outcome);
        QFETCH(QByteArray, payload);
        QFETCH(QString, message);
        FakeAdbServer server;
        QVERIFY(server.listen());
        server.setReply("host:list-forward", reply);

        const HostServiceReply answer =
            QCoro::waitFor(requestHostService(server.address(), "host:list-forward", Limit));
        QCOMPARE(described(answer.outcome), outcome);
        QCOMPARE(answer.payload, payload);
        if (!message.isEmpty())
            QCOMPARE(answer.message, message);
        QCOMPARE(server.requests(), QByteArrayList{"host:list-forward"});
        QVERIFY(server.unexpectedBytes().isEmpty());
    }

    void unknownServiceIsTheServersRefusal() {
        FakeAdbServer server;
        QVERIFY(server.listen());
        const HostServiceReply answer =
            QCoro::waitFor(requestHostService(server.address(), "host:no-such-thing", Limit));
        QCOMPARE(described(answer.outcome), QStringLiteral("failed"));
        QCOMPARE(answer.message, QStringLiteral("unknown host service"));
    }

    // The port a server used a moment ago, now refusing connections.
    void noServerWhereNoneListens() {
        FakeAdbServer server;
        QVERIFY(server.listen());
        server.goAway();
        const HostServiceReply answer =
            QCoro::waitFor(requestHostService(server.address(), "host:list-forward", Limit));
        QCOMPARE(described(answer.outcome), QStringLiteral("no server"));
        QVERIFY(!answer.message.isEmpty());
    }

    // Requests on connections of their own do not wait for one another.
    void requestsRunSideBySide() {
        FakeAdbServer server;
        QVERIFY(server.listen());
        server.setReply("host:list-forward", FakeAdbServer::hang());
        server.setReply("host:devices-l", FakeAdbServer::okay("R1 device model:KS_1\n"));
        QCoro::Task<HostServiceReply> hanging =
            requestHostService(server.address(), "host:list-forward", std::chrono::seconds(5));
        const HostServiceReply answered =
            QCoro::waitFor(requestHostService(server.address(), "host:devices-l", Limit));
        QCOMPARE(described(answered.outcome), QStringLiteral("ok"));
        QVERIFY(!hanging.isReady());
        server.goAway();
        QCOMPARE(described(QCoro::waitFor(hanging).outcome), QStringLiteral("protocol error"));
    }
};

QTEST_GUILESS_MAIN(AdbServerRequestTest)
#include "test_adb_server_request.moc"
