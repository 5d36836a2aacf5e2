// Reaching the phone's VNC and web ports through the real adb's forwards, and
// what Quit leaves of adb's server.
#include "e2e/LoopbackProbe.h"
#include "e2e/ProgramSession.h"
#include "e2e/ServerScenarioChecks.h"
#include "support/ConsoleTexts.h"

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
        for (quint16 port : {VncPort, WebPort})
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
};

QTEST_MAIN(E2eForwardTest)
#include "test_e2e_forward.moc"
