// SPDX-License-Identifier: GPL-3.0-or-later
// View and --connect, short of a real viewer: the local pair each phone gets,
// the remembered port, the server started on the way, and the greeting that
// decides whether anything is opened.
#include "core/view/ViewerLauncher.h"
#include "support/ConsoleTexts.h"
#include "support/LocalGreeter.h"
#include "support/PhoneCommands.h"
#include "support/ScriptedViewers.h"
#include "support/SessionFixture.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

using namespace ostrel;
using namespace ostrel::test;
using namespace ostrel::test::phone;
using namespace ostrel::test::texts;

namespace {

const QString Phone = QStringLiteral("emulator-5554");

QJsonArray held(const QString& serial, int local, int remote) {
    return {serial, QStringLiteral("tcp:%1").arg(local), QStringLiteral("tcp:%1").arg(remote)};
}

QStringList forwardPair(int local, int remote) {
    return {"-s",
            Phone,
            "forward",
            "--no-rebind",
            QStringLiteral("tcp:%1").arg(local),
            QStringLiteral("tcp:%1").arg(remote)};
}

// The forward commands alone, in order: the rest is the start flow's.
QList<QStringList> forwardsRun(const QList<QStringList>& runs) {
    QList<QStringList> forwards;
    for (const QStringList& run : runs) {
        if (run.value(2) == QStringLiteral("forward"))
            forwards.append(run);
    }
    return forwards;
}

Waits viewWaits(std::chrono::milliseconds greeting) {
    Waits waits = fastWaits();
    waits.viewGreeting = greeting;
    return waits;
}

QJsonObject runningServer() {
    return {{"package", FirstPackage}, {"running", true}};
}

} // namespace

class ViewFlowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<SessionFixture> f;
    ScriptedViewers viewers;

    void attach(const QJsonObject& scenario, std::chrono::milliseconds greeting = {}) {
        f.reset();
        f = std::make_unique<SessionFixture>(scenario, viewWaits(greeting));
    }
    bool view(std::optional<int> port = std::nullopt) {
        ViewerLauncher launcher(viewers, DesktopKind::Freedesktop);
        const std::optional<TcpPort> given = port ? std::optional(portOf(*port)) : std::nullopt;
        return f->run(f->session.view(given, launcher, QString()));
    }

private Q_SLOTS:
    void init() { viewers = ScriptedViewers(); }
    void cleanup() { f.reset(); }

    // The first pair upward that leads to this phone's own ports or is free
    // here and forwarded to no phone. Ports are offsets from the phone's VNC
    // port, so that the pair chosen lands where a greeter listens.
    void choosesTheFirstUsablePair_data() {
        using Offsets = QList<QList<int>>;
        QTest::addColumn<Offsets>("forwards"); // [0: this phone, 1: another; local; remote]
        QTest::addColumn<QList<int>>("inUse");
        QTest::addColumn<bool>("quickerClient");
        QTest::addColumn<int>("chosen");
        QTest::addColumn<Offsets>("commands"); // [local, remote] of each forward run
        QTest::newRow("free") << Offsets{} << QList<int>{} << false << 0
                              << Offsets{{0, 0}, {-100, -100}};
        QTest::newRow("VNC port held by another program")
            << Offsets{} << QList<int>{0} << false << 1 << Offsets{{1, 0}, {-99, -100}};
        QTest::newRow("web ports held by another program")
            << Offsets{} << QList<int>{-100, -99} << false << 2 << Offsets{{2, 0}, {-98, -100}};
        QTest::newRow("forwarded to another phone")
            << Offsets{{1, 0, 0}, {1, -100, -100}} << QList<int>{} << false << 1
            << Offsets{{1, 0}, {-99, -100}};
        QTest::newRow("forwarded to this phone")
            << Offsets{{0, 0, 0}, {0, -100, -100}} << QList<int>{} << false << 0 << Offsets{};
        QTest::newRow("this phone's VNC port, web port free")
            << Offsets{{0, 0, 0}} << QList<int>{} << false << 0 << Offsets{{-100, -100}};
        QTest::newRow("this phone's other port")
            << Offsets{{0, 0, 7}} << QList<int>{} << false << 1 << Offsets{{1, 0}, {-99, -100}};
        QTest::newRow("another client is quicker")
            << Offsets{} << QList<int>{} << true << 1 << Offsets{{0, 0}, {1, 0}, {-99, -100}};
    }
    void choosesTheFirstUsablePair() {
        using Offsets = QList<QList<int>>;
        QFETCH(Offsets, forwards);
        QFETCH(QList<int>, inUse);
        QFETCH(bool, quickerClient);
        QFETCH(int, chosen);
        QFETCH(Offsets, commands);
        LocalGreeter greeter;
        QVERIFY(greeter.listen(QHostAddress::LocalHost));
        const int port = greeter.serverPort() - chosen; // the phone's VNC port
        QJsonObject scenario = runningServer();
        QJsonArray listed;
        for (const QList<int>& forward : forwards)
            listed.append(
                held(forward.at(0) ? "R58M" : Phone, port + forward.at(1), port + forward.at(2)));
        scenario["forwards"] = listed;
        if (quickerClient)
            scenario["quickerClient"] = held("R58M", port, port);
        attach(scenario, std::chrono::milliseconds(3000));
        for (const int offset : inUse)
            f->portsInUse.insert(static_cast<uint16_t>(port + offset));
        viewers.onPath = {"vncviewer"};

        QVERIFY(view(port));
        QList<QStringList> expected;
        for (const QList<int>& command : commands)
            expected.append(forwardPair(port + command.at(0), port + command.at(1)));
        QCOMPARE(forwardsRun(f->phone.invocations()), expected);
        // The phone's side stays as the phone has it; only the local side moves.
        const QByteArray listing = f->phone.forwardListing();
        const int local = port + chosen;
        for (const QJsonArray& pair :
             {held(Phone, local, port), held(Phone, local - 100, port - 100)})
            QVERIFY2(listing.contains((pair.at(0).toString() + ' ' + pair.at(1).toString() + ' ' +
                                       pair.at(2).toString() + '\n')
                                          .toUtf8()),
                     listing.constData());
        QCOMPARE(viewers.calls,
                 (QList<QStringList>{{"vncviewer", QStringLiteral("localhost::%1").arg(local)}}));
        // The local ports are named when they are not the phone's.
        QCOMPARE(f->seen.console.contains(
                     QStringLiteral("are reached through localhost:%1 and localhost:%2")
                         .arg(local)
                         .arg(local - 100)),
                 chosen != 0);
        QCOMPARE(f->seen.links.last().second,
                 QUrl(QStringLiteral("vnc://localhost:%1").arg(local)));
    }

    // A port accepted in USB Connect is the one View uses for that phone.
    void usbConnectRemembersThePort() {
        attach(runningServer());
        QVERIFY(f->run(f->session.usbConnect(portOf(5905))));
        QCOMPARE(f->settings.vncPorts, (QHash<QString, TcpPort>{{Phone, portOf(5905)}}));
        // Its forwards lead to the phone already: View keeps them as they are.
        const qsizetype before = f->phone.invocations().size();
        f->seen.clear();
        QVERIFY(!view());
        QCOMPARE(forwardsRun(f->runsSince(before)), QList<QStringList>{});
        QVERIFY2(f->seen.console.contains(QStringLiteral(
                     "The phone is reached through localhost:5905 and localhost:5805.\n")),
                 qPrintable(f->seen.console));
        QVERIFY(f->seen.failures.startsWith(
            QStringLiteral("Error: nothing answered on localhost:5905 ")));
    }

    // Without a port given, the remembered one; without one remembered (the
    // settings read none that is a port), the default.
    void storedPortIsUsed_data() {
        QTest::addColumn<int>("stored"); // 0: none
        QTest::addColumn<int>("used");
        QTest::newRow("a port") << 5903 << 5903;
        QTest::newRow("none") << 0 << 5901;
    }
    void storedPortIsUsed() {
        QFETCH(int, stored);
        QFETCH(int, used);
        attach(runningServer());
        if (stored != 0)
            f->settings.vncPorts.insert(Phone, portOf(stored));
        QVERIFY(!view());
        QCOMPARE(forwardsRun(f->phone.invocations()).value(0), forwardPair(used, used));
    }

    // Settings that cannot be written cost the port its memory, not the flow:
    // the reason is said, and the forwards are made all the same.
    void aPortThatCannotBeRememberedIsSaid_data() {
        QTest::addColumn<bool>("byUsbConnect");
        QTest::newRow("USB Connect") << true;
        QTest::newRow("View") << false;
    }
    void aPortThatCannotBeRememberedIsSaid() {
        QFETCH(bool, byUsbConnect);
        attach(runningServer());
        f->settings.refusal = QStringLiteral("/home/u/.config/Ostrel/Ostrel Dravik.conf could "
                                             "not be written");
        if (byUsbConnect)
            QVERIFY(f->run(f->session.usbConnect(portOf(5905))));
        else
            QVERIFY(!view(5905)); // nothing greets on the port
        QCOMPARE(forwardsRun(f->phone.invocations()).value(0), forwardPair(5905, 5905));
        const QString said = QStringLiteral("The port could not be remembered: /home/u/.config/"
                                            "Ostrel/Ostrel Dravik.conf could not be written.\n");
        QCOMPARE(f->seen.failures.count(said), 1);
        QVERIFY(f->settings.vncPorts.isEmpty());
    }

    // A bounded search, which says where it looked: it stops at the highest
    // port rather than coming round to the lowest.
    void noPairLeftEndsView_data() {
        QTest::addColumn<int>("given"); // 0: none, so the default
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::newRow("limit reached") << 0 << 5901 << 5900 + LocalPairLimit;
        QTest::newRow("highest port reached") << 65530 << 65530 << 65535;
    }
    void noPairLeftEndsView() {
        QFETCH(int, given);
        QFETCH(int, first);
        QFETCH(int, last);
        attach(runningServer());
        for (int port = first - 100; port <= last - 100; ++port)
            f->portsInUse.insert(static_cast<uint16_t>(port));
        QVERIFY(!view(given ? std::optional<int>(given) : std::nullopt));
        QCOMPARE(forwardsRun(f->phone.invocations()), QList<QStringList>{});
        QCOMPARE(f->seen.failures,
                 QStringLiteral("Error: none of localhost:%1 to localhost:%2 can lead to the "
                                "phone: each is in use here or leads elsewhere. Free some with USB "
                                "Disconnect, or close what holds them.\n")
                     .arg(first)
                     .arg(last));
        QVERIFY(viewers.calls.isEmpty());
    }

    // Without a greeting nothing is opened; the forwards stay for a second try.
    void silentServerOpensNothing() {
        attach(runningServer(), std::chrono::milliseconds(300));
        QVERIFY(!view(5901));
        QCOMPARE(f->seen.failures,
                 QStringLiteral("Error: nothing answered on localhost:5901 within 0.3 seconds. "
                                "Check that Ostrel VNC Server runs on the phone and shows port "
                                "5901; if it shows another, give that one with USB Connect.\n"));
        QVERIFY(viewers.calls.isEmpty());
        QVERIFY(f->phone.forwardListing().contains(Phone.toUtf8() + " tcp:5901 tcp:5901\n"));
        QCOMPARE(f->run(f->session.connectForView(portOf(5901))), std::nullopt);
    }

    // A stopped server is started first, by the start flow as it is; a start
    // that fails ends View with its own lines and forwards nothing.
    void startsTheServerFirst_data() {
        QTest::addColumn<QJsonObject>("scenario");
        QTest::addColumn<bool>("starts");
        QTest::newRow("stopped") << QJsonObject{{"package", FirstPackage}} << true;
        QTest::newRow("not installed") << QJsonObject{} << false;
        QTest::newRow("fails") << QJsonObject{{"package", FirstPackage}, {"serverFails", "no port"}}
                               << false;
    }
    void startsTheServerFirst() {
        QFETCH(QJsonObject, scenario);
        QFETCH(bool, starts);
        LocalGreeter greeter;
        QVERIFY(greeter.listen(QHostAddress::LocalHost));
        const int port = greeter.serverPort();
        attach(scenario, std::chrono::milliseconds(3000));
        viewers.onPath = {"krdc"};
        QCOMPARE(view(port), starts);
        QVERIFY(f->seen.console.startsWith(QStringLiteral("Opening the phone's screen...\n")));
        QVERIFY(f->seen.console.contains(Starting));
        QCOMPARE(
            f->phone.invocations().contains(runServer(FirstPackage)) ||
                f->phone.invocations().contains(QStringList{"-s", Phone} + runServer(FirstPackage)),
            scenario.contains("package"));
        QCOMPARE(forwardsRun(f->phone.invocations()).size(), starts ? 2 : 0);
        QCOMPARE(viewers.calls.size(), starts ? 1 : 0);
        if (starts) {
            QVERIFY(f->seen.console.contains(RunningRow));
            QCOMPARE(f->seen.console.endsWith(
                         QStringLiteral("Opened with krdc: vnc://localhost:%1\n\n\n").arg(port)),
                     true);
            QCOMPARE(f->seen.serverStates.last(), true);
        }
    }

    // The command line's form: the pair once greeted, and nothing opened.
    void connectGivesThePair() {
        LocalGreeter greeter;
        QVERIFY(greeter.listen(QHostAddress::LocalHost));
        const int port = greeter.serverPort();
        attach(runningServer(), std::chrono::milliseconds(3000));
        const std::optional<LocalPair> pair = f->run(f->session.connectForView(portOf(port)));
        QVERIFY(pair);
        QCOMPARE(pair->vnc, portOf(port));
        QCOMPARE(pair->web, std::optional(portOf(port - 100)));
        // Given on the command line, the port is remembered as the prompt's is.
        QCOMPARE(f->settings.rememberedVncPort(Phone), std::optional(portOf(port)));
    }

    // Quit or a cancel ends the greeting wait at once, without a word, and
    // nothing is opened.
    void cancelEndsTheGreetingWait() {
        attach(runningServer(), std::chrono::milliseconds(5000));
        viewers.onPath = {"vncviewer"};
        QElapsedTimer clock;
        clock.start();
        QTimer::singleShot(300, &f->session, [this] { f->session.cancel(); });
        QVERIFY(!view(5901));
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(f->seen.failures, QString());
        QVERIFY(viewers.calls.isEmpty());
        QVERIFY(!f->session.isBusy());
    }
};

QTEST_GUILESS_MAIN(ViewFlowTest)
#include "test_view_flow.moc"
