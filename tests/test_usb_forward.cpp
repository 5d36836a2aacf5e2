#include "support/ConsoleTexts.h"
#include "support/PhoneCommands.h"
#include "support/SessionFixture.h"

#include <QJsonArray>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;
using namespace ostrel::test::phone;
using namespace ostrel::test::texts;

namespace {

const QString Listing = QStringLiteral("Checking Android devices...\n"
                                       "List of devices attached\n"
                                       "emulator-5554\tdevice\n\n");
const QString Refusal =
    QStringLiteral("adb: error: cannot bind listener: Address already in use\n");

using Link = std::pair<QString, QUrl>;

// The commands as the phone gets them: each but the listing names the phone.
QList<QStringList> aimed(const QList<QStringList>& commands) {
    QList<QStringList> runs;
    for (const QStringList& command : commands)
        runs.append(command == devices() ? command : QStringList{"-s", "emulator-5554"} + command);
    return runs;
}

Link vnc(int port) {
    return {QStringLiteral("vnc://localhost:%1\r\n\r\n").arg(port),
            QUrl(QStringLiteral("vnc://localhost:%1").arg(port))};
}
Link web(int port) {
    return {QStringLiteral("http://localhost:%1\r\n\r\n").arg(port),
            QUrl(QStringLiteral("http://localhost:%1").arg(port))};
}

} // namespace

class UsbForwardTest : public QObject {
    Q_OBJECT

    std::unique_ptr<SessionFixture> f;

    void attach(const QJsonObject& scenario) {
        f.reset();
        f = std::make_unique<SessionFixture>(scenario);
    }
    void connect(int port) { f->run(f->session.usbConnect(port)); }
    bool adbServerStopped() const {
        return f->phone.invocations().contains(QStringList{"kill-server"});
    }

private Q_SLOTS:
    void cleanup() { f.reset(); }

    void forwardsVncAndWebPorts_data() {
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("webPort");
        QTest::newRow("default") << 5901 << 5801;
        QTest::newRow("lowest web port") << 101 << 1;
        QTest::newRow("highest") << 65535 << 65435;
    }
    void forwardsVncAndWebPorts() {
        QFETCH(int, port);
        QFETCH(int, webPort);
        attach({});
        connect(port);
        QCOMPARE(f->phone.invocations(), aimed({devices(), forward(port), forward(webPort)}));
        // A working forward prints its port, which the console shows.
        QCOMPARE(f->seen.console, SettingUp + Listing + QString::number(port) + "\n" + VncSentence +
                                      vncLink(port) + QString::number(webPort) + "\n" +
                                      WebSentence + webLink(webPort));
        QCOMPARE(f->seen.failures, QString());
        QCOMPARE(f->seen.links, (QList<Link>{vnc(port), web(webPort)}));
        QVERIFY(f->session.forwardInForce());
        QCOMPARE(f->seen.busyChanges, (QList<bool>{true, false}));
    }

    // No web port below 1 can exist, so the VNC forward alone is all there is
    // to reach: the verdict follows it.
    void lowPortForwardsVncOnly_data() {
        QTest::addColumn<int>("port");
        QTest::addColumn<QJsonObject>("scenario");
        QTest::addColumn<bool>("reached");
        QTest::newRow("80") << 80 << QJsonObject{} << true;
        QTest::newRow("100: web port would be 0") << 100 << QJsonObject{} << true;
        QTest::newRow("1") << 1 << QJsonObject{} << true;
        QTest::newRow("far below, never wraps round")
            << int(std::numeric_limits<int32_t>::min()) << QJsonObject{} << true;
        QTest::newRow("VNC port refused")
            << 80 << QJsonObject{{"refusedPorts", QJsonArray{80}}} << false;
    }
    void lowPortForwardsVncOnly() {
        QFETCH(int, port);
        QFETCH(QJsonObject, scenario);
        QFETCH(bool, reached);
        attach(scenario);
        QCOMPARE(f->run(f->session.usbConnect(port)), reached);
        QCOMPARE(f->phone.invocations(), aimed({devices(), forward(port)}));
        const QString noWebPort =
            QStringLiteral("No web port was forwarded: port %1 minus 100 is below 1.\n").arg(port);
        const QString vncPart =
            reached ? QString::number(port) + "\n" + VncSentence + vncLink(port) : Refusal;
        QCOMPARE(f->seen.console, SettingUp + Listing + vncPart + noWebPort);
        QCOMPARE(f->seen.failures, reached ? QString() : Refusal);
        QCOMPARE(f->seen.links, reached ? QList<Link>{vnc(port)} : QList<Link>{});
        QCOMPARE(f->session.forwardInForce(), reached);
    }

    void refusedOrSilentForwards_data() {
        QTest::addColumn<QJsonObject>("scenario");
        QTest::addColumn<QString>("console");
        QTest::addColumn<QString>("failures");
        QTest::addColumn<bool>("established");
        QTest::newRow("VNC port refused")
            << QJsonObject{{"refusedPorts", QJsonArray{5901}}}
            << Refusal + "5801\n" + WebSentence + webLink(5801) << Refusal << true;
        QTest::newRow("web port refused")
            << QJsonObject{{"refusedPorts", QJsonArray{5801}}}
            << "5901\n" + VncSentence + vncLink(5901) + Refusal << Refusal << true;
        QTest::newRow("older adb prints nothing on success")
            << QJsonObject{{"silentForward", true}}
            << VncSentence + vncLink(5901) + WebSentence + webLink(5801) << QString() << true;
    }
    void refusedOrSilentForwards() {
        QFETCH(QJsonObject, scenario);
        QFETCH(QString, console);
        QFETCH(QString, failures);
        QFETCH(bool, established);
        attach(scenario);
        connect(5901);
        QCOMPARE(f->phone.invocations(), aimed({devices(), forward(5901), forward(5801)}));
        QCOMPARE(f->seen.console, SettingUp + Listing + console);
        QCOMPARE(f->seen.failures, failures);
        QCOMPARE(f->session.forwardInForce(), established);

        // Either forward that works keeps adb's server, which holds it, past Quit.
        f->session.stopAdbServerUnlessForwarding();
        QVERIFY(!adbServerStopped());
    }

    // The prompt's window shows both kinds alike; the kind matters to the
    // command line, which sends failures to standard error.
    void badEntryIsOneFailureLine_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("failures");
        QTest::newRow("no digits")
            << "abc"
            << "Error: \"abc\" is not a port number: enter a number from 1 to 65535.\n";
        QTest::newRow("wraps 32 bits")
            << "4294967297"
            << "Error: \"4294967297\" is not a port number: enter a number from 1 to 65535.\n";
        QTest::newRow("blank says nothing") << " " << QString();
    }
    void badEntryIsOneFailureLine() {
        QFETCH(QString, text);
        QFETCH(QString, failures);
        attach({});
        f->run(f->session.usbConnectText(text));
        QCOMPARE(f->phone.invocations(), QList<QStringList>{});
        QCOMPARE(f->seen.console, failures);
        QCOMPARE(f->seen.failures, failures);
        QVERIFY(!f->session.isBusy());
    }

    void quitStopsAdbWhenNoForwardWorked() {
        attach({{"refusedPorts", QJsonArray{5901, 5801}}});
        connect(5901);
        QVERIFY(!f->session.forwardInForce());
        const qsizetype before = f->phone.invocations().size();
        f->session.stopAdbServerUnlessForwarding();
        QCOMPARE(f->runsSince(before), QList<QStringList>{{"kill-server"}});
        QVERIFY(f->phone.runs().last().detached);
    }

    void noDeviceRunsNoForward() {
        attach({{"listings", QJsonArray{QJsonValue(QJsonArray{})}}});
        connect(5901);
        QCOMPARE(f->phone.invocations(), QList<QStringList>{devices()});
        QCOMPARE(f->seen.console, SettingUp +
                                      "Checking Android devices...\nList of devices attached\n\n" +
                                      NoDeviceLines);
        QCOMPARE(f->seen.links, QList<Link>{});
    }

    void deviceGoneEndsTheForwards() {
        attach({{"goneFrom", 2}});
        connect(5901);
        QCOMPARE(f->phone.invocations(), aimed({devices(), forward(5901)}));
        const QString gone = "error: device 'emulator-5554' not found\n";
        QCOMPARE(f->seen.console, SettingUp + Listing + gone);
        QCOMPARE(f->seen.failures, gone);
        QVERIFY(!f->session.forwardInForce());
        QCOMPARE(f->seen.links, QList<Link>{});
    }
};

QTEST_MAIN(UsbForwardTest)
#include "test_usb_forward.moc"
