// SPDX-License-Identifier: GPL-3.0-or-later
// The device list following a scripted adb server while the program idles
// and while a flow runs.
#include "support/ConsoleTexts.h"
#include "support/FakeAdbServer.h"
#include "support/PhoneCommands.h"
#include "support/SessionFixture.h"

#include <QJsonArray>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;
using namespace ostrel::test::phone;
using namespace std::chrono_literals;

namespace {

using DeviceList = std::pair<QStringList, int>;

// Both phones answer adb, whatever the server lists.
QJsonObject twoPhones() {
    const QJsonArray listing{QJsonArray{"AAA111", "device"}, QJsonArray{"BBB222", "device"}};
    return {{"listings", QJsonArray{QJsonValue(listing)}}, {"package", FirstPackage}};
}

DeviceWatchTiming quickRetries() {
    DeviceWatchTiming timing;
    timing.retry = 100ms;
    return timing;
}

// Whether every run since `before` was aimed at `serial`: the silent probe's
// presence check and process listing, nothing else.
bool onlyProbed(const QList<QStringList>& runs, const QString& serial) {
    if (runs.isEmpty() || runs.last() != onDevice(serial, {processList()}).first())
        return false;
    return std::all_of(runs.begin(), runs.end(), [&serial](const QStringList& run) {
        return run.mid(0, 2) == QStringList{"-s", serial} &&
               (run.mid(2) == processList() || run.mid(2, 3) == QStringList{"shell", "ls", "-l"});
    });
}

bool serve(FakeAdbServer& server, const QByteArray& devices) {
    server.setDevices(devices);
    return server.listen();
}

// A session watching a server of its own.
struct Watched {
    explicit Watched(const QByteArray& devices, Waits waits = fastWaits())
        : listening(serve(server, devices)), session(twoPhones(), waits, server.address()) {}
    void start() { session.session.startWatching(quickRetries()); }
    DeviceList shown() const {
        return session.seen.deviceLists.value(session.seen.deviceLists.size() - 1);
    }
    bool idle() const { return !session.session.isBusy(); }
    // Idle, and the list that follows the last flow's end has been shown:
    // counts taken now change only for what comes next.
    bool settled() const {
        const SessionRecorder& seen = session.seen;
        return idle() && (seen.busyChanges.isEmpty() || seen.busyChanges.last() ||
                          seen.deviceLists.size() > seen.listsWhenIdle);
    }

    FakeAdbServer server;
    bool listening = false;
    SessionFixture session;
};

// Starts the watch and waits until the list shows `items` with nothing running.
#define START_AND_SHOW(w, items, current)                                                          \
    do {                                                                                           \
        QVERIFY((w).listening);                                                                    \
        (w).start();                                                                               \
        QTRY_COMPARE_WITH_TIMEOUT((w).shown(), (DeviceList{items, current}), 5000);                \
        QTRY_VERIFY((w).settled());                                                                \
    } while (false)

} // namespace

class LiveDeviceListTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A server that runs before the program lists its phones with no click;
    // the first one is probed without a word, each command naming it, and
    // adb is never asked for a listing.
    void startUpListsAndProbesSilently() {
        Watched w("AAA111\tdevice\n");
        START_AND_SHOW(w, (QStringList{"AAA111"}), 0);
        QVERIFY2(onlyProbed(w.session.phone.invocations(), "AAA111"),
                 qPrintable(w.session.phone.invocations().size() > 0
                                ? w.session.phone.invocations().last().join(' ')
                                : QString()));
        QCOMPARE(w.session.seen.console, QString());
        QCOMPARE(w.session.seen.serverStates, QList<bool>{false});
    }

    // A usable phone arriving while another is selected is listed and the
    // choice stays; an unusable one is explained once, however often the
    // list changes after it.
    void arrivalsKeepTheChoice() {
        Watched w("");
        START_AND_SHOW(w, (QStringList{"No device"}), 0);
        QCOMPARE(w.session.phone.invocations().size(), 0);

        w.server.setDevices("AAA111\tdevice\n");
        QTRY_COMPARE_WITH_TIMEOUT(w.shown(), (DeviceList{{"AAA111"}, 0}), 5000);
        QTRY_VERIFY(w.idle());
        QVERIFY(onlyProbed(w.session.phone.invocations(), "AAA111"));
        const qsizetype probed = w.session.phone.invocations().size();

        w.server.setDevices("AAA111\tdevice\nBBB222\tdevice\nCCC333\tunauthorized\n");
        QTRY_COMPARE_WITH_TIMEOUT(
            w.shown(), (DeviceList{{"AAA111", "BBB222", "CCC333 — unauthorized"}, 0}), 5000);
        w.server.setDevices("AAA111\tdevice\nCCC333\tunauthorized\n");
        QTRY_COMPARE_WITH_TIMEOUT(w.shown(), (DeviceList{{"AAA111", "CCC333 — unauthorized"}, 0}),
                                  5000);
        QTRY_VERIFY(w.idle());
        QCOMPARE(w.session.phone.invocations().size(), probed);
        QCOMPARE(w.session.seen.console,
                 "Device CCC333 is unauthorized: unlock it, accept the USB debugging prompt on "
                 "the device, then try again.\n");
    }

    void selectedPhoneLeaves_data() {
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<QString>("said");
        QTest::addColumn<DeviceList>("shown");
        QTest::addColumn<QString>("probed"); // empty: none
        QTest::newRow("unplugged")
            << QByteArray("BBB222\tdevice\n") << "Device AAA111 is no longer attached.\n"
            << DeviceList{{"BBB222"}, 0} << "BBB222";
        QTest::newRow("unauthorized")
            << QByteArray("AAA111\tunauthorized\nBBB222\tdevice\n")
            << "Device AAA111 is now unauthorized.\nDevice AAA111 is unauthorized: unlock it, "
               "accept the USB debugging prompt on the device, then try again.\n"
            << DeviceList{{"AAA111 — unauthorized", "BBB222"}, 1} << "BBB222";
        QTest::newRow("the last one") << QByteArray() << "Device AAA111 is no longer attached.\n"
                                      << DeviceList{{"No device"}, 0} << QString();
    }
    // The line, the next usable phone selected and probed, and the button
    // and the status line following it.
    void selectedPhoneLeaves() {
        QFETCH(QByteArray, after);
        QFETCH(QString, said);
        QFETCH(DeviceList, shown);
        QFETCH(QString, probed);
        Watched w("AAA111\tdevice\nBBB222\tdevice\n");
        START_AND_SHOW(w, (QStringList{"AAA111", "BBB222"}), 0);
        const qsizetype before = w.session.phone.invocations().size();
        w.session.seen.clear();

        w.server.setDevices(after);
        QTRY_COMPARE_WITH_TIMEOUT(w.shown(), shown, 5000);
        QTRY_VERIFY(w.idle());
        QCOMPARE(w.session.seen.console, said);
        QCOMPARE(w.session.seen.failures, said);
        QCOMPARE(w.session.session.selectedDevice(), probed);
        if (probed.isEmpty()) {
            QCOMPARE(w.session.runsSince(before).size(), 0);
        } else {
            QVERIFY(onlyProbed(w.session.runsSince(before), probed));
        }
        QCOMPARE(w.session.seen.serverStates, QList<bool>{false});
    }

    // A wireless phone that drops to offline and comes back within the
    // settling time never shows as changed, and says nothing.
    void flapIsNotShown() {
        Watched w("AAA111\tdevice\n");
        START_AND_SHOW(w, (QStringList{"AAA111"}), 0);
        const qsizetype lists = w.session.seen.deviceLists.size();
        const qsizetype runs = w.session.phone.invocations().size();

        w.server.setDevices("AAA111\toffline\n");
        QTest::qWait(150);
        w.server.setDevices("AAA111\tdevice\n");
        QTest::qWait(800);
        QCOMPARE(w.session.seen.deviceLists.size(), lists);
        QCOMPARE(w.session.seen.console, QString());
        QCOMPARE(w.session.phone.invocations().size(), runs);
        QCOMPARE(w.session.session.selectedDevice(), QStringLiteral("AAA111"));
    }

    // While a flow runs the list refills, but its phone stays selected until
    // it ends; then the departure is said and the next phone probed.
    void refillDuringAFlowLeavesTheSelection() {
        Waits waits = fastWaits();
        waits.commandTimeout = 1500ms;
        Watched w("AAA111\tdevice\nBBB222\tdevice\n", waits);
        START_AND_SHOW(w, (QStringList{"AAA111", "BBB222"}), 0);
        w.session.seen.clear();
        const qsizetype before = w.session.phone.invocations().size();
        w.session.phone.hangOn(onDevice("AAA111", {processList()}).first());

        QCoro::Task<bool> flow = w.session.session.startServer();
        QTRY_COMPARE(w.session.phone.waiting(), 1);
        // The flow took the watched list: adb was not asked for one.
        const QString listed = QStringLiteral(
            "Starting Ostrel VNC Server on device...\nChecking Android devices...\nList of "
            "devices attached\nAAA111\tdevice\nBBB222\tdevice\n\n");
        QCOMPARE(w.session.seen.console.left(listed.size()), listed);
        QVERIFY(!w.session.runsSince(before).contains(devices()));

        w.server.setDevices("BBB222\tdevice\n");
        QTRY_COMPARE_WITH_TIMEOUT(w.shown(), (DeviceList{{"No device", "BBB222"}, 0}), 5000);
        QVERIFY(w.session.session.isBusy());
        QCOMPARE(w.session.session.selectedDevice(), QStringLiteral("AAA111"));
        QVERIFY(!w.session.seen.console.contains("no longer attached"));

        QTRY_VERIFY_WITH_TIMEOUT(w.idle() && w.session.session.selectedDevice() == "BBB222", 5000);
        QTRY_VERIFY(w.idle());
        QVERIFY(w.session.seen.console.endsWith("Device AAA111 is no longer attached.\n"));
        QCOMPARE(w.shown(), (DeviceList{{"BBB222"}, 0}));
        const QList<QStringList> runs = w.session.runsSince(before);
        QCOMPARE(runs.last(), onDevice("BBB222", {processList()}).first());
    }

    // A server that goes away empties the list once it has been gone for a
    // while, without a word; one that comes back is followed again.
    void lostServerShowsNoDeviceSilently() {
        Watched w("AAA111\tdevice\n");
        START_AND_SHOW(w, (QStringList{"AAA111"}), 0);
        w.session.seen.clear();

        w.server.goAway();
        QTRY_COMPARE_WITH_TIMEOUT(w.shown(), (DeviceList{{"No device"}, 0}), 5000);
        QCOMPARE(w.session.seen.console, QString());
        QCOMPARE(w.session.seen.serverStates, QList<bool>{false});

        w.server.setDevices("AAA111\tdevice\n");
        QVERIFY(w.server.listen());
        QTRY_COMPARE_WITH_TIMEOUT(w.shown(), (DeviceList{{"AAA111"}, 0}), 5000);
        QTRY_VERIFY(w.idle());
        QCOMPARE(w.session.seen.console, QString());
    }

    // A server that breaks the protocol after each first list: the break is
    // said once, and each reconnect that finds the same phone is no arrival:
    // no probe, no line, no new model request, no list shown anew.
    void aServerBreakingItsProtocolIsToldOnce() {
        Watched w("");
        w.server.setReply("host:track-devices",
                          {"OKAY" + FakeAdbServer::frame("AAA111\tdevice\n") + "zzzz", true});
        w.server.setReply("host:devices-l", FakeAdbServer::okay("AAA111 device model:KS_200\n"));
        DeviceWatchTiming timing;
        timing.retry = 200ms;
        timing.lostAfter = 200ms; // as long as the retry, as they are by default
        QVERIFY(w.listening);
        w.session.session.startWatching(timing);
        QTRY_COMPARE_WITH_TIMEOUT(w.shown(), (DeviceList{{"KS 200 (AAA111)"}, 0}), 5000);
        QTRY_VERIFY(w.settled());
        const qsizetype lists = w.session.seen.deviceLists.size();
        const qsizetype runs = w.session.phone.invocations().size();
        const int connections = static_cast<int>(w.server.requests().count("host:track-devices"));
        QTRY_VERIFY_WITH_TIMEOUT(w.server.requests().count("host:track-devices") >= connections + 4,
                                 5000);
        QTRY_VERIFY(w.idle());

        QCOMPARE(w.session.phone.invocations().size(), runs);
        QCOMPARE(w.session.seen.deviceLists.size(), lists);
        QCOMPARE(w.server.requests().count("host:devices-l"), 1);
        const QString said = QStringLiteral("The device list cannot follow the adb server at %1: "
                                            "the adb server sent a length that is not four hex "
                                            "digits.\n")
                                 .arg(w.server.address().text());
        QCOMPARE(w.session.seen.console, said);
        QCOMPARE(w.session.seen.failures, said);
    }

    // Two phones of one kind are told apart by their serials.
    void modelsShowWithTheSerial() {
        Watched w("");
        w.server.setReply("host:devices-l",
                          FakeAdbServer::okay("AAA111  device product:p model:KS_200 device:d "
                                              "transport_id:1\n"));
        START_AND_SHOW(w, (QStringList{"No device"}), 0);
        w.server.setDevices("AAA111\tdevice\n");
        QTRY_COMPARE_WITH_TIMEOUT(w.shown(), (DeviceList{{"KS 200 (AAA111)"}, 0}), 5000);
    }
};

QTEST_GUILESS_MAIN(LiveDeviceListTest)
#include "test_live_device_list.moc"
