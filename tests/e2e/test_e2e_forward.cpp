// SPDX-License-Identifier: GPL-3.0-or-later
// Reaching the phone's VNC and web ports through the real adb's forwards, and
// what Quit leaves of adb's server.
#include "e2e/LoopbackProbe.h"
#include "e2e/ProgramSession.h"
#include "e2e/ServerScenarioChecks.h"
#include "support/ConsoleTexts.h"

#include <QCoro/QCoroTask>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>

using namespace ostrel;
using namespace ostrel::e2e;
using namespace ostrel::test::texts;

namespace {

constexpr quint16 VncPort = 5901;
constexpr quint16 WebPort = 5801;
// The two phones' VNC port, and a third local port for the first phone.
constexpr quint16 SharedPort = 5902;
constexpr quint16 SharedWebPort = 5802;
constexpr quint16 OtherPort = 5903;

// A phone whose server runs from the start, told apart by its desktop name.
PhoneScenario namedPhone(const QString& desktopName) {
    PhoneScenario scenario;
    scenario.alreadyRunning = true;
    scenario.vncPort = SharedPort;
    scenario.desktopName = desktopName;
    return scenario;
}

// Polls until `condition` holds or `timeoutMs` has passed; the event loop
// keeps running meanwhile.
template <typename Condition> bool becomes(Condition condition, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(100);
    }
    return true;
}

// What another adb client does: localhost:LOCAL to REMOTE on `phone`.
void forward(ProgramSession& session, const SimulatedPhone& phone, quint16 local,
             quint16 remote = 0) {
    const QString socket = QStringLiteral("tcp:%1");
    session.scope().run({QStringLiteral("-s"), phone.serial(), QStringLiteral("forward"),
                         socket.arg(local), socket.arg(remote != 0 ? remote : local)});
}

} // namespace

#define START_SERVER(session)                                                                      \
    do {                                                                                           \
        (session).clickStart();                                                                    \
        QVERIFY2((session).statusText() == RunningStatus, qPrintable((session).story()));          \
        (session).program().controller->onClearButtonClicked();                                    \
    } while (false)

class E2eForwardTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        ProgramSession session;
        const QString why = whyNotTheRealAdb(session);
        QVERIFY2(why.isEmpty(), qPrintable(why));
    }

    // Each scenario's adb server takes its forwards with it when it ends, a
    // moment after `adb kill-server` returns; a port still taken after that
    // was left by something else.
    void init() {
        for (quint16 port : {VncPort, WebPort, SharedPort, SharedWebPort, OtherPort})
            QVERIFY2(becomes([port] { return !acceptsConnections(port, 500); }, 3000),
                     qPrintable(QStringLiteral("127.0.0.1:%1 is already taken").arg(port)));
    }

    void viewerAndBrowserReachTheRunningServer() {
        ProgramSession session;
        ATTACH_PHONE(phone, session, PhoneScenario{}, QStringLiteral("device"));
        START_SERVER(session);

        session.usbConnect();

        QCOMPARE(readFirstLine(VncPort), QByteArray("RFB 003.008\n"));
        QCOMPARE(httpStatusLine(WebPort), QByteArray("HTTP/1.1 200 OK"));
        // adb echoes the port of each forward it sets up.
        QCOMPARE(session.console(), SettingUp + listingOf(*phone) + "5901\n" + VncSentence +
                                        vncLink(VncPort) + "5801\n" + WebSentence +
                                        webLink(WebPort));
        QCOMPARE(session.linkTargets(),
                 (QStringList{"vnc://localhost:5901", "http://localhost:5801"}));

        // The same forwards again: adb prints nothing, and they still work.
        session.program().controller->onClearButtonClicked();
        session.usbConnect();
        QCOMPARE(session.console(), SettingUp + listingOf(*phone) + VncSentence + vncLink(VncPort) +
                                        WebSentence + webLink(WebPort));
        QCOMPARE(readFirstLine(VncPort), QByteArray("RFB 003.008\n"));
    }

    // adb binds its forwards on 127.0.0.1 alone, so that is where another
    // listener keeps it out.
    void portTakenByAnotherListener() {
        QTcpServer other;
        QVERIFY(other.listen(QHostAddress::LocalHost, VncPort));
        ProgramSession session;
        ATTACH_PHONE(phone, session, PhoneScenario{}, QStringLiteral("device"));
        START_SERVER(session);

        session.usbConnect();

        QCOMPARE(session.console(),
                 SettingUp + listingOf(*phone) +
                     "adb: error: cannot bind listener: Address already in use\n" + "5801\n" +
                     WebSentence + webLink(WebPort));
        QCOMPARE(session.linkTargets(), QStringList{"http://localhost:5801"});
        QCOMPARE(httpStatusLine(WebPort), QByteArray("HTTP/1.1 200 OK"));
    }

    void quitWithoutForwardStopsAdbsServer() {
        ProgramSession session;
        ATTACH_PHONE(phone, session, PhoneScenario{}, QStringLiteral("device"));
        START_SERVER(session);
        QVERIFY(session.scope().serverAnswers());

        session.triggerQuit();

        QCOMPARE(session.program().desktop.quitCount, 1);
        QVERIFY2(becomes([&] { return !session.scope().serverAnswers(); }, 10000),
                 "adb's server outlived Quit");
    }

    void quitKeepsAdbsServerWhileAForwardHolds() {
        ProgramSession session;
        ATTACH_PHONE(phone, session, PhoneScenario{}, QStringLiteral("device"));
        START_SERVER(session);
        session.usbConnect();
        QCOMPARE(readFirstLine(VncPort), QByteArray("RFB 003.008\n"));

        session.triggerQuit();

        QCOMPARE(session.program().desktop.quitCount, 1);
        // A kill-server would have ended the server well within this time.
        QTest::qWait(1500);
        QVERIFY(session.scope().serverAnswers());
        QCOMPARE(readFirstLine(VncPort), QByteArray("RFB 003.008\n"));
    }
    // Another adb client forwards 5902 to phone B: USB Connect 5902 on phone
    // A is refused, and 5902 still reaches B.
    void portOfAnotherPhoneIsNotTakenOver() {
        ProgramSession session(Waits{}, true); // the list to choose from follows the server
        ATTACH_PHONE(a, session, namedPhone("phone A"), QStringLiteral("device"));
        ATTACH_PHONE(b, session, namedPhone("phone B"), QStringLiteral("device"));
        forward(session, *b, SharedPort);
        QCOMPARE(rfbDesktopName(SharedPort), QByteArray("phone B"));
        session.choose(a->serial());

        session.usbConnect(QString::number(SharedPort));

        const QString refusal =
            QStringLiteral(
                "Error: localhost:5902 already leads to device %1; choose another port.\n")
                .arg(b->serial());
        QVERIFY2(session.console().endsWith(refusal), qPrintable(session.story()));
        QCOMPARE(session.linkTargets(), QStringList{});
        QCOMPARE(rfbDesktopName(SharedPort), QByteArray("phone B"));
    }

    // USB Disconnect on phone B frees B's ports alone.
    void usbDisconnectFreesOnlyTheSelectedPhonesPorts() {
        ProgramSession session(Waits{}, true); // the list to choose from follows the server
        ATTACH_PHONE(a, session, namedPhone("phone A"), QStringLiteral("device"));
        ATTACH_PHONE(b, session, namedPhone("phone B"), QStringLiteral("device"));
        forward(session, *a, OtherPort, SharedPort);
        session.choose(b->serial());
        session.usbConnect(QString::number(SharedPort));
        QCOMPARE(rfbDesktopName(SharedPort), QByteArray("phone B"));
        QCOMPARE(session.program().window->ui.forwardsLabel->text(),
                 QStringLiteral("Forwarded: localhost:5902 and localhost:5802"));

        QTest::mouseClick(session.program().window->ui.usbDisconnectButton, Qt::LeftButton);
        session.waitForTheFlow();

        QVERIFY2(session.console().endsWith("Freed localhost:5902 and localhost:5802.\n"),
                 qPrintable(session.story()));
        QCOMPARE(session.program().window->ui.forwardsLabel->text(), QString());
        QVERIFY(!acceptsConnections(SharedPort, 500));
        QCOMPARE(rfbDesktopName(OtherPort), QByteArray("phone A"));
        const QString list =
            QString::fromUtf8(session.scope()
                                  .run({QStringLiteral("forward"), QStringLiteral("--list")})
                                  .standardOutput);
        QCOMPARE(list.trimmed(), QStringLiteral("%1 tcp:5903 tcp:5902").arg(a->serial()));
    }

    // A forward another adb client holds keeps adb's server, and the forward,
    // past Quit.
    void quitKeepsAdbsServerForAnotherClientsForward() {
        ProgramSession session;
        ATTACH_PHONE(a, session, namedPhone("phone A"), QStringLiteral("device"));
        forward(session, *a, SharedPort);

        session.triggerQuit();

        QCOMPARE(session.program().desktop.quitCount, 1);
        QTest::qWait(1500);
        QVERIFY(session.scope().serverAnswers());
        QCOMPARE(rfbDesktopName(SharedPort), QByteArray("phone A"));
    }
};

QTEST_MAIN(E2eForwardTest)
#include "test_e2e_forward.moc"
