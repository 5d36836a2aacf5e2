// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/ConsoleTexts.h"
#include "support/LocalGreeter.h"
#include "support/PhoneCommands.h"
#include "support/SessionFixture.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QTcpServer>
#include <QTcpSocket>
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

} // namespace

Q_DECLARE_METATYPE(ostrel::AdbServerVerdict)

namespace {

// The commands as the phone gets them: each but the listing names the phone.
QList<QStringList> aimed(const QList<QStringList>& commands) {
    QList<QStringList> runs;
    for (const QStringList& command : commands)
        runs.append(command == devices() ? command : QStringList{"-s", "emulator-5554"} + command);
    return runs;
}

QString taken(int port, const QString& other) {
    return QStringLiteral("Error: localhost:%1 already leads to device %2; choose another port.\n")
        .arg(port)
        .arg(other);
}

QJsonArray held(const QString& serial, int port) {
    const QString socket = QStringLiteral("tcp:%1").arg(port);
    return {serial, socket, socket};
}

QJsonArray joined(QJsonArray first, const QJsonArray& second) {
    for (const QJsonValue& value : second)
        first.append(value);
    return first;
}

QByteArray listed(const QList<QJsonArray>& forwards) {
    QByteArray listing;
    for (const QJsonArray& forward : forwards)
        listing += (forward.at(0).toString() + ' ' + forward.at(1).toString() + ' ' +
                    forward.at(2).toString() + '\n')
                       .toUtf8();
    return listing;
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
    void connect(int port) { f->run(f->session.usbConnect(portOf(port))); }
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
        // Ports no phone uses are asked for so that adb refuses one taken meanwhile.
        QCOMPARE(f->phone.invocations(), aimed({devices(), forwardNew(port), forwardNew(webPort)}));
        // A working forward prints its port, which the console shows.
        QCOMPARE(f->seen.console, SettingUp + Listing + QString::number(port) + "\n" + VncSentence +
                                      vncLink(port) + QString::number(webPort) + "\n" +
                                      WebSentence + webLink(webPort) + nothingAnswers(port));
        QCOMPARE(f->seen.failures, nothingAnswers(port));
        QCOMPARE(f->seen.links, (QList<Link>{vnc(port), web(webPort)}));
        QCOMPARE(f->phone.forwardListing(),
                 listed({held("emulator-5554", port), held("emulator-5554", webPort)}));
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
        QTest::newRow("VNC port refused")
            << 80 << QJsonObject{{"refusedPorts", QJsonArray{80}}} << false;
    }
    void lowPortForwardsVncOnly() {
        QFETCH(int, port);
        QFETCH(QJsonObject, scenario);
        QFETCH(bool, reached);
        attach(scenario);
        QCOMPARE(f->run(f->session.usbConnect(portOf(port))), reached);
        QCOMPARE(f->phone.invocations(), aimed({devices(), forwardNew(port)}));
        const QString noWebPort =
            QStringLiteral("No web port was forwarded: port %1 minus 100 is below 1.\n").arg(port);
        const QString vncPart =
            reached ? QString::number(port) + "\n" + VncSentence + vncLink(port) : Refusal;
        // No greeting can be awaited on a port that is no port.
        const QString greeting = reached && port >= 1 ? nothingAnswers(port) : QString();
        QCOMPARE(f->seen.console, SettingUp + Listing + vncPart + noWebPort + greeting);
        QCOMPARE(f->seen.failures, reached ? greeting : Refusal);
        QCOMPARE(f->seen.links, reached ? QList<Link>{vnc(port)} : QList<Link>{});
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
            << "5901\n" + VncSentence + vncLink(5901) + Refusal + nothingAnswers(5901)
            << Refusal + nothingAnswers(5901) << true;
        QTest::newRow("older adb prints nothing on success")
            << QJsonObject{{"silentForward", true}}
            << VncSentence + vncLink(5901) + WebSentence + webLink(5801) + nothingAnswers(5901)
            << nothingAnswers(5901) << true;
    }
    void refusedOrSilentForwards() {
        QFETCH(QJsonObject, scenario);
        QFETCH(QString, console);
        QFETCH(QString, failures);
        QFETCH(bool, established);
        attach(scenario);
        connect(5901);
        QCOMPARE(f->phone.invocations(), aimed({devices(), forwardNew(5901), forwardNew(5801)}));
        QCOMPARE(f->seen.console, SettingUp + Listing + console);
        QCOMPARE(f->seen.failures, failures);
        QCOMPARE(!f->phone.forwardListing().isEmpty(), established);

        // Either forward that works keeps adb's server, which holds it, past Quit.
        QCOMPARE(f->run(f->session.stopAdbServerUnlessForwarding()),
                 AdbServerVerdict::KeptForwards);
        QVERIFY(!adbServerStopped());
    }

    // adb's exit status alone says a forward holds: what a working forward
    // prints is only shown.
    void aWorkingForwardHoldsWhateverItPrints_data() {
        QTest::addColumn<QString>("printed");
        QTest::newRow("no output") << QString();
        QTest::newRow("one empty line") << "\n";
        QTest::newRow("port number") << "5901\n";
        QTest::newRow("text then empty") << "x\n\n";
        QTest::newRow("lone CR is not empty") << "\r";
    }
    void aWorkingForwardHoldsWhateverItPrints() {
        QFETCH(QString, printed);
        attach({{"forwardSays", printed}});
        connect(5901);
        QCOMPARE(f->phone.invocations(), aimed({devices(), forwardNew(5901), forwardNew(5801)}));
        QVERIFY(f->seen.console.contains(VncSentence + vncLink(5901)));
        QVERIFY(f->seen.console.contains(WebSentence + webLink(5801)));
        QCOMPARE(f->seen.failures, nothingAnswers(5901));
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
        QCOMPARE(f->phone.forwardListing(), QByteArray());
        const qsizetype before = f->phone.invocations().size();
        QCOMPARE(f->run(f->session.stopAdbServerUnlessForwarding()), AdbServerVerdict::Stopped);
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
        QCOMPARE(f->phone.invocations(), aimed({devices(), forwardNew(5901)}));
        const QString gone = "error: device 'emulator-5554' not found\n";
        QCOMPARE(f->seen.console, SettingUp + Listing + gone);
        QCOMPARE(f->seen.failures, gone);
        QCOMPARE(f->phone.forwardListing(), QByteArray());
        QCOMPARE(f->seen.links, QList<Link>{});
    }
    // A port that leads to another phone is not taken over: one line, and no
    // forward command at all, so that neither port moves.
    void portOfAnotherPhoneIsRefused_data() {
        QTest::addColumn<QJsonArray>("forwards");
        QTest::addColumn<QString>("failure");
        QTest::newRow("VNC port") << QJsonArray{held("R58M", 5901), held("R58M", 5801)}
                                  << taken(5901, "R58M");
        QTest::newRow("web port only")
            << QJsonArray{QJsonValue(held("R58M", 5801))} << taken(5801, "R58M");
        QTest::newRow("serial with spaces")
            << QJsonArray{QJsonValue(held("usb phone 2", 5901))} << taken(5901, "usb phone 2");
    }
    void portOfAnotherPhoneIsRefused() {
        QFETCH(QJsonArray, forwards);
        QFETCH(QString, failure);
        attach({{"forwards", forwards}});
        const QByteArray before = f->phone.forwardListing();
        QVERIFY(!f->run(f->session.usbConnect(portOf(5901))));
        QCOMPARE(f->phone.invocations(), QList<QStringList>{devices()});
        QCOMPARE(f->seen.console, SettingUp + Listing + failure);
        QCOMPARE(f->seen.failures, failure);
        QCOMPARE(f->seen.links, QList<Link>{});
        QCOMPARE(f->phone.forwardListing(), before);
    }

    // A port that already leads to this phone is forwarded again as it is.
    void portOfThisPhoneIsRenewed() {
        attach({{"forwards", QJsonArray{QJsonValue(held("emulator-5554", 5901))}}});
        QVERIFY(f->run(f->session.usbConnect(portOf(5901))));
        QCOMPARE(f->phone.invocations(), aimed({devices(), forward(5901), forwardNew(5801)}));
        QCOMPARE(f->seen.links, (QList<Link>{vnc(5901), web(5801)}));
        QCOMPARE(f->phone.forwardListing(),
                 listed({held("emulator-5554", 5901), held("emulator-5554", 5801)}));
    }

    // Another client forwards the port between the list and the command:
    // adb refuses the --no-rebind, and the list read again names its phone.
    void clientQuickerThanTheForward_data() {
        QTest::addColumn<QString>("quicker");
        QTest::addColumn<bool>("reached");
        QTest::newRow("to another phone") << "R58M" << false;
        QTest::newRow("to this phone") << "emulator-5554" << true;
    }
    void clientQuickerThanTheForward() {
        QFETCH(QString, quicker);
        QFETCH(bool, reached);
        attach({{"quickerClient", held(quicker, 5901)}});
        QCOMPARE(f->run(f->session.usbConnect(portOf(5901))), reached);
        if (reached) {
            QCOMPARE(f->phone.invocations(),
                     aimed({devices(), forwardNew(5901), forwardNew(5801)}));
            QCOMPARE(f->seen.links, (QList<Link>{vnc(5901), web(5801)}));
        } else {
            QCOMPARE(f->phone.invocations(), aimed({devices(), forwardNew(5901)}));
            QCOMPARE(f->seen.console, SettingUp + Listing + taken(5901, quicker));
            QCOMPARE(f->seen.failures, taken(5901, quicker));
        }
        QCOMPARE(f->phone.forwardListing().startsWith(listed({held(quicker, 5901)})), true);
    }

    // Without the list nothing is taken over either: every port is asked
    // for with --no-rebind.
    void unreadableListStillTakesNothingOver_data() {
        QTest::addColumn<QString>("server");
        QTest::newRow("no server answers") << "gone";
        QTest::newRow("no address") << "none";
        QTest::newRow("server fails") << "fails";
    }
    void unreadableListStillTakesNothingOver() {
        QFETCH(QString, server);
        f.reset();
        if (server == "none")
            f = std::make_unique<SessionFixture>(QJsonObject{}, fastWaits(), std::nullopt);
        else
            attach({});
        if (server == "gone")
            f->server.goAway();
        else if (server == "fails")
            f->server.setReply("host:list-forward", FakeAdbServer::fail("closed"));
        QVERIFY(f->run(f->session.usbConnect(portOf(5901))));
        QCOMPARE(f->phone.invocations(), aimed({devices(), forwardNew(5901), forwardNew(5801)}));
    }

    // Only a greeting read through the forward shows a server behind it.
    void greetingDecidesTheLastLine_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("greets");
        QTest::newRow("greets") << QByteArray("RFB 003.008\n") << true;
        QTest::newRow("accepts and says nothing") << QByteArray() << false;
        QTest::newRow("says something else") << QByteArray("HTTP/1.1 400\r\n") << false;
    }
    void greetingDecidesTheLastLine() {
        QFETCH(QByteArray, answer);
        QFETCH(bool, greets);
        LocalGreeter phoneServer(answer);
        QVERIFY(phoneServer.listen(QHostAddress::LocalHost));
        const int port = phoneServer.serverPort();
        Waits waits = fastWaits();
        waits.forwardGreeting = std::chrono::milliseconds(600);
        f = std::make_unique<SessionFixture>(QJsonObject{}, waits);
        // The forwards hold either way, for the command line's exit status too.
        QVERIFY(f->run(f->session.usbConnect(portOf(port))));
        QCOMPARE(f->seen.links, (QList<Link>{vnc(port), web(port - 100)}));
        QCOMPARE(f->seen.console.endsWith(webLink(port - 100) + nothingAnswers(port)), !greets);
        QCOMPARE(f->seen.failures, greets ? QString() : nothingAnswers(port));
    }

    // Only the selected phone's ports are freed, each through its own serial,
    // and the list read again decides what is said.
    void disconnectFreesOnlyTheSelectedPhonesPorts_data() {
        QTest::addColumn<QJsonArray>("forwards");
        QTest::addColumn<QList<int>>("removed");
        QTest::addColumn<QString>("said");
        const QString a = "emulator-5554";
        const QJsonArray others{held("R58M", 5902), held("R58M", 5802),
                                QJsonArray{a, "localabstract:chrome", "localabstract:x"}};
        QTest::newRow("none") << others << QList<int>{}
                              << "No forwards lead to device emulator-5554.\n";
        QTest::newRow("one") << joined(others, QJsonArray{QJsonValue(held(a, 5901))})
                             << QList<int>{5901} << "Freed localhost:5901.\n";
        QTest::newRow("two") << joined(QJsonArray{QJsonValue(held(a, 5901))},
                                       joined(others, QJsonArray{QJsonValue(held(a, 5801))}))
                             << QList<int>{5901, 5801}
                             << "Freed localhost:5901 and localhost:5801.\n";
        QTest::newRow("three") << joined(others, {held(a, 5901), held(a, 5801), held(a, 6000)})
                               << QList<int>{5901, 5801, 6000}
                               << "Freed localhost:5901, localhost:5801 and localhost:6000.\n";
    }
    void disconnectFreesOnlyTheSelectedPhonesPorts() {
        QFETCH(QJsonArray, forwards);
        QFETCH(QList<int>, removed);
        QFETCH(QString, said);
        const QJsonArray both{QJsonArray{"emulator-5554", "device"}, QJsonArray{"R58M", "device"}};
        attach({{"listings", QJsonArray{QJsonValue(both)}}, {"forwards", forwards}});
        QList<QList<TcpPort>> shown;
        QObject::connect(&f->session, &BridgeSession::forwardedPortsChanged, &f->session,
                         [&](const QList<TcpPort>& ports) { shown.append(ports); });
        QVERIFY(f->run(f->session.usbDisconnect()));
        QList<QStringList> commands{devices()};
        for (const int port : removed)
            commands.append(QStringList{"-s", "emulator-5554"} + removeForward(port));
        QCOMPARE(f->phone.invocations(), commands);
        QCOMPARE(f->seen.console, "Removing USB connection...\nChecking Android devices...\n"
                                  "List of devices attached\nemulator-5554\tdevice\n"
                                  "R58M\tdevice\n\n" +
                                      said);
        QCOMPARE(f->seen.failures, QString());
        QCOMPARE(f->phone.forwardListing(),
                 listed({held("R58M", 5902), held("R58M", 5802),
                         QJsonArray{"emulator-5554", "localabstract:chrome", "localabstract:x"}}));
        QCOMPARE(shown, QList<QList<TcpPort>>{{}});
    }

    // A phone that cannot be reached keeps its forwards, and says why.
    void disconnectLeavesAnOfflinePhoneAlone() {
        attach({{"listings", QJsonArray{QJsonValue(
                                 QJsonArray{QJsonValue(QJsonArray{"emulator-5554", "offline"})})}},
                {"forwards", QJsonArray{QJsonValue(held("emulator-5554", 5901))}}});
        QVERIFY(!f->run(f->session.usbDisconnect()));
        QCOMPARE(f->phone.invocations(), QList<QStringList>{devices()});
        QVERIFY(f->seen.console.contains("offline"));
        QCOMPARE(f->phone.forwardListing(), listed({held("emulator-5554", 5901)}));
    }

    // Quit stops adb's server only when it answers with an empty list; it
    // never starts one to ask, and never waits past its limit.
    void quitAsksTheServer_data() {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QJsonArray>("forwards");
        QTest::addColumn<AdbServerVerdict>("verdict");
        QTest::newRow("no server") << "gone" << QJsonArray{} << AdbServerVerdict::NoServer;
        QTest::newRow("no address") << "none" << QJsonArray{} << AdbServerVerdict::KeptUnknown;
        QTest::newRow("empty list") << "fake" << QJsonArray{} << AdbServerVerdict::Stopped;
        QTest::newRow("another client's forward")
            << "fake" << QJsonArray{QJsonValue(held("R58M", 5902))}
            << AdbServerVerdict::KeptForwards;
        QTest::newRow("another program's local socket")
            << "fake"
            << QJsonArray{QJsonValue(QJsonArray{"R58M", "localabstract:a", "localabstract:b"})}
            << AdbServerVerdict::KeptForwards;
        QTest::newRow("failing server") << "fails" << QJsonArray{} << AdbServerVerdict::KeptUnknown;
        QTest::newRow("hanging server") << "hangs" << QJsonArray{} << AdbServerVerdict::KeptUnknown;
    }
    void quitAsksTheServer() {
        QFETCH(QString, server);
        QFETCH(QJsonArray, forwards);
        QFETCH(AdbServerVerdict, verdict);
        Waits waits = fastWaits();
        waits.forwardList = std::chrono::milliseconds(300);
        f.reset();
        if (server == "none")
            f = std::make_unique<SessionFixture>(QJsonObject{{"forwards", forwards}}, waits,
                                                 std::nullopt);
        else
            f = std::make_unique<SessionFixture>(QJsonObject{{"forwards", forwards}}, waits);
        if (server == "gone")
            f->server.goAway();
        else if (server == "fails")
            f->server.setReply("host:list-forward", FakeAdbServer::fail("closed"));
        else if (server == "hangs")
            f->server.setReply("host:list-forward", FakeAdbServer::hang());
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(f->run(f->session.stopAdbServerUnlessForwarding()), verdict);
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        const QList<QStringList> kills = verdict == AdbServerVerdict::Stopped
                                             ? QList<QStringList>{{"kill-server"}}
                                             : QList<QStringList>{};
        QCOMPARE(f->phone.invocations(), kills);
        if (server == "fake" || server == "fails" || server == "hangs")
            QCOMPARE(f->server.requests(), QByteArrayList{"host:list-forward"});
    }
};

QTEST_MAIN(UsbForwardTest)
#include "test_usb_forward.moc"
