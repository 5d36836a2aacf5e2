// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/server/DeviceWatch.h"
#include "support/FakeAdbServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <functional>

using namespace ostrel;
using namespace std::chrono_literals;
using ostrel::test::FakeAdbServer;

namespace {

QString described(const QList<ListedDevice>& devices) {
    QStringList parts;
    for (const ListedDevice& device : devices)
        parts << device.serial + u'=' + device.state;
    return parts.join(u',');
}

// Quick retries; the real settling time and patience with a lost server.
DeviceWatchTiming quickTiming() {
    DeviceWatchTiming timing;
    timing.retry = 100ms;
    return timing;
}

// Everything a watch told, in order: "list:A=device", "connected", "disconnected".
struct WatchLog {
    explicit WatchLog(DeviceWatch& watch) {
        QObject::connect(&watch, &DeviceWatch::devicesChanged, &watch,
                         [this](const QList<ListedDevice>& devices) {
                             events << QStringLiteral("list:") + described(devices);
                         });
        QObject::connect(&watch, &DeviceWatch::connectedChanged, &watch, [this](bool connected) {
            events << (connected ? QStringLiteral("connected") : QStringLiteral("disconnected"));
        });
    }
    QStringList events;
};

int trackRequests(const FakeAdbServer& server) {
    return static_cast<int>(server.requests().count("host:track-devices"));
}

int modelRequests(const FakeAdbServer& server) {
    return static_cast<int>(server.requests().count("host:devices-l"));
}

// The descriptors this process holds open, both ends of the test's sockets
// included.
int openDescriptors() {
    return static_cast<int>(QDir(QStringLiteral("/dev/fd"))
                                .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                                .size());
}

// The most of something seen while sampling it every few milliseconds.
struct Peak {
    explicit Peak(std::function<int()> measure) : measure_(std::move(measure)) {
        most = measure_();
        sampling_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&sampling_, &QTimer::timeout, &sampling_,
                         [this] { most = std::max(most, measure_()); });
        sampling_.start(10);
    }
    int most = 0;

private:
    std::function<int()> measure_;
    QTimer sampling_;
};

// A server listing `devices` and a watch on it, not yet started.
struct WatchedServer {
    explicit WatchedServer(const QByteArray& devices,
                           const DeviceWatchTiming& timing = quickTiming())
        : watch(server.address(), timing), log(watch) {
        server.setDevices(devices);
    }

    FakeAdbServer server;
    bool listening = server.listen();
    DeviceWatch watch;
    WatchLog log;
};

// Starts the fixture's watch and waits until it shows the server's list.
#define CONNECT_WATCH(fixture)                                                                     \
    do {                                                                                           \
        QVERIFY((fixture).listening);                                                              \
        (fixture).watch.start();                                                                   \
        QTRY_VERIFY_WITH_TIMEOUT((fixture).watch.isConnected(), 5000);                             \
    } while (false)

} // namespace

class AdbServerWatchTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void showsTheFirstListAtOnceThenFollowsChanges() {
        WatchedServer f("R58M123\tdevice\n");
        CONNECT_WATCH(f);
        QCOMPARE(f.log.events, (QStringList{"list:R58M123=device", "connected"}));

        f.server.setDevices("R58M123\tdevice\n0123456789ABCDEF\tno permissions (missing udev "
                            "rules? user is in the plugdev group)\n");
        QTRY_COMPARE_WITH_TIMEOUT(f.watch.devices().size(), 2, 5000);
        QCOMPARE(
            f.watch.devices().last().state,
            QStringLiteral("no permissions (missing udev rules? user is in the plugdev group)"));
        f.server.setDevices("");
        QTRY_COMPARE_WITH_TIMEOUT(described(f.watch.devices()), QString(), 5000);
        QVERIFY(f.watch.isConnected());
        QCOMPARE(trackRequests(f.server), 1);
    }

    // A phone that goes offline and comes back at once is never shown
    // offline: a later change, which settles after it would have, shows alone.
    void aFlapIsNotShown() {
        WatchedServer f("A\tdevice\n");
        CONNECT_WATCH(f);
        f.server.setDevices("A\toffline\n");
        f.server.setDevices("A\tauthorizing\n");
        f.server.setDevices("A\tdevice\n");
        f.server.setDevices("A\tdevice\nB\tdevice\n");
        QTRY_COMPARE_WITH_TIMEOUT(described(f.watch.devices()), QStringLiteral("A=device,B=device"),
                                  5000);
        QCOMPARE(f.log.events,
                 (QStringList{"list:A=device", "connected", "list:A=device,B=device"}));
    }

    void aPhoneThatKeepsFlappingHoldsUpNoOther() {
        WatchedServer f("A\tdevice\n");
        CONNECT_WATCH(f);
        QByteArray others;
        bool offline = false;
        QTimer flapping;
        flapping.setTimerType(Qt::PreciseTimer);
        connect(&flapping, &QTimer::timeout, this, [&] {
            offline = !offline;
            f.server.setDevices(QByteArray("A\t") + (offline ? "offline\n" : "authorizing\n") +
                                others);
        });
        flapping.start(100);
        others = "B\tdevice\n";
        QTRY_VERIFY_WITH_TIMEOUT(f.watch.devices().contains(ListedDevice{"B", "device"}), 5000);
        QVERIFY(!f.watch.devices().first().usable());
    }

    // A server that is back before the watch could miss it: no "No device".
    void aServerThatRestartsAtOnceLeavesTheWatchConnected() {
        WatchedServer f("A\tdevice\n");
        CONNECT_WATCH(f);
        f.server.goAway();
        QVERIFY(f.server.listen());
        f.server.setDevices("A\tdevice\nB\tdevice\n");
        QTRY_COMPARE_WITH_TIMEOUT(described(f.watch.devices()), QStringLiteral("A=device,B=device"),
                                  5000);
        QCOMPARE(f.log.events,
                 (QStringList{"list:A=device", "connected", "list:A=device,B=device"}));
        QCOMPARE(trackRequests(f.server), 2);
    }

    void aLostServerIsToldAndFoundAgain() {
        DeviceWatchTiming timing = quickTiming();
        timing.lostAfter = 400ms;
        WatchedServer f("A\tdevice\n", timing);
        QSignalSpy failures(&f.watch, &DeviceWatch::attemptFailed);
        CONNECT_WATCH(f);
        f.server.goAway();
        QTRY_VERIFY_WITH_TIMEOUT(!f.watch.isConnected(), 5000);
        QCOMPARE(f.watch.devices(), QList<ListedDevice>());
        QVERIFY(!failures.isEmpty());
        f.server.setDevices("B\tdevice\n");
        QVERIFY(f.server.listen());
        QTRY_VERIFY_WITH_TIMEOUT(f.watch.isConnected(), 5000);
        QCOMPARE(f.log.events, (QStringList{"list:A=device", "connected", "list:", "disconnected",
                                            "list:B=device", "connected"}));
    }

    // An adb command pokes the watch each time it runs; however often that
    // is, no server is tried more than once per retry interval, and a server
    // that comes is found within one.
    void pokesAreHeldToTheRetryInterval() {
        DeviceWatchTiming timing;
        timing.retry = 300ms;
        WatchedServer f("", timing);
        f.server.goAway();
        QSignalSpy failures(&f.watch, &DeviceWatch::attemptFailed);
        f.watch.start();
        QTRY_COMPARE_WITH_TIMEOUT(failures.size(), 1, 5000);
        QVERIFY(failures.first().first().toString().contains(QStringLiteral("refused")));
        QElapsedTimer clock;
        clock.start();
        QTimer poking;
        poking.setTimerType(Qt::PreciseTimer);
        connect(&poking, &QTimer::timeout, &f.watch, &DeviceWatch::poke);
        poking.start(5);
        QTest::qWait(1000);
        const qint64 allowed = 1 + clock.elapsed() / 300 + 1;
        QVERIFY2(failures.size() <= allowed, qPrintable(QString::number(failures.size())));

        QVERIFY(f.server.listen());
        QTRY_VERIFY_WITH_TIMEOUT(f.watch.isConnected(), 1000);
        QTest::qWait(50);
        poking.stop();
        QCOMPARE(trackRequests(f.server), 1);
    }

    void refusedAndBrokenRepliesAreRetried_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<QString>("reason");
        QTest::newRow("FAIL") << QByteArray("FAIL0010not tracking now") << true
                              << "not tracking now";
        QTest::newRow("bad length") << QByteArray("OKAY00zz") << false << "four hex digits";
        QTest::newRow("closed before the first list")
            << QByteArray("OKAY00") << true << "inside a frame";
    }
    void refusedAndBrokenRepliesAreRetried() {
        QFETCH(QByteArray, reply);
        QFETCH(bool, closes);
        QFETCH(QString, reason);
        WatchedServer f("");
        QVERIFY(f.listening);
        f.server.setReply("host:track-devices", {reply, closes});
        QSignalSpy failures(&f.watch, &DeviceWatch::attemptFailed);
        f.watch.start();
        QTRY_VERIFY_WITH_TIMEOUT(trackRequests(f.server) >= 2, 5000);
        QVERIFY2(failures.first().first().toString().contains(reason),
                 qPrintable(failures.first().first().toString()));
        QCOMPARE(f.log.events, QStringList());
    }

    // Nonsense in the middle of tracking: the watch starts afresh.
    void aBrokenFrameWhileTrackingReconnects() {
        WatchedServer f("A\tdevice\n");
        CONNECT_WATCH(f);
        f.server.sendToTrackers("zzzz");
        f.server.setDevices("A\tdevice\nC\tdevice\n");
        QTRY_COMPARE_WITH_TIMEOUT(trackRequests(f.server), 2, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(described(f.watch.devices()), QStringLiteral("A=device,C=device"),
                                  5000);
        QVERIFY(!f.log.events.contains(QStringLiteral("disconnected")));
    }

    void asksTheModelOfEachArrivingUsablePhone() {
        WatchedServer f("A\tdevice\nB\tunauthorized\n");
        f.server.setReply("host:devices-l",
                          FakeAdbServer::okay("A                      device product:kestrel "
                                              "model:KS_200 device:kestrel transport_id:1\n"
                                              "B                      unauthorized usb:1-2 "
                                              "transport_id:2\n"));
        QSignalSpy models(&f.watch, &DeviceWatch::modelKnown);
        CONNECT_WATCH(f);
        QTRY_COMPARE_WITH_TIMEOUT(models.size(), 1, 5000);
        QCOMPARE(models.first(), (QVariantList{"A", "KS 200"}));
        QCOMPARE(f.watch.model("A"), QStringLiteral("KS 200"));

        f.server.setReply("host:devices-l",
                          FakeAdbServer::okay("A                      device model:KS_200\n"
                                              "B                      device model:HR_9\n"));
        f.server.setDevices("A\tdevice\nB\tdevice\n");
        QTRY_COMPARE_WITH_TIMEOUT(models.size(), 2, 5000);
        QCOMPARE(models.last(), (QVariantList{"B", "HR 9"}));
        f.server.setDevices("A\tdevice\nB\tdevice\n");
        f.server.setDevices("B\tdevice\n");
        QTRY_COMPARE_WITH_TIMEOUT(described(f.watch.devices()), QStringLiteral("B=device"), 5000);
        QCOMPARE(f.server.requests().count("host:devices-l"), 2);
    }

    // A server that breaks the protocol after each first list: each
    // reconnect finds the same phone, which shows no change and is not asked
    // for its model again; the break is told each time, for the listeners to
    // say once.
    void aServerThatBreaksAfterItsFirstListReconnectsQuietly() {
        DeviceWatchTiming timing;
        timing.retry = 200ms;
        timing.lostAfter = 200ms; // as long as the retry, as they are by default
        WatchedServer f("", timing);
        f.server.setReply("host:track-devices",
                          {"OKAY" + FakeAdbServer::frame("A\tdevice\n") + "zzzz", true});
        f.server.setReply("host:devices-l", FakeAdbServer::okay("A  device model:KS_200\n"));
        QSignalSpy failures(&f.watch, &DeviceWatch::attemptFailed);
        CONNECT_WATCH(f);
        QTRY_VERIFY_WITH_TIMEOUT(trackRequests(f.server) >= 5, 5000);
        QCOMPARE(f.log.events, (QStringList{"list:A=device", "connected"}));
        QCOMPARE(modelRequests(f.server), 1);
        QCOMPARE(f.watch.model("A"), QStringLiteral("KS 200"));
        QVERIFY(f.watch.isConnected());
        QVERIFY(failures.size() >= 3);
        QVERIFY2(failures.first().first().toString().contains("four hex digits"),
                 qPrintable(failures.first().first().toString()));
        QVERIFY(failures.first().at(1).toBool()); // a server answered
    }

    // A server that sends lists as fast as it can, alternating between two
    // phones: one model request at a time, a fixed number of descriptors, at
    // most ten lists a second shown, and the server's list followed once it
    // calms down.
    void aFloodingServerCostsBoundedWork_data() {
        QTest::addColumn<int>("settleMs");
        QTest::addColumn<bool>("changesShow");
        QTest::newRow("flapping, so nothing settles") << 500 << false;
        QTest::newRow("every list settles at once") << 0 << true;
    }
    void aFloodingServerCostsBoundedWork() {
        QFETCH(int, settleMs);
        QFETCH(bool, changesShow);
        DeviceWatchTiming timing = quickTiming();
        timing.settle = std::chrono::milliseconds(settleMs);
        WatchedServer f("A\tdevice\n", timing);
        f.server.setReply("host:devices-l",
                          FakeAdbServer::okay("A  device model:KS_200\nB  device model:HR_9\n"));
        f.server.setReplyDelay("host:devices-l", 20ms);
        CONNECT_WATCH(f);
        QTRY_COMPARE_WITH_TIMEOUT(f.watch.model("A"), QStringLiteral("KS 200"), 5000);
        const qsizetype eventsBefore = f.log.events.size();
        const int descriptorsBefore = openDescriptors();
        const Peak descriptors(openDescriptors);
        const int requestsBefore = modelRequests(f.server);

        QElapsedTimer clock;
        clock.start();
        f.server.floodTrackers({"B\tdevice\n", "A\tdevice\n"});
        QTest::qWait(1500);
        f.server.stopFlooding();
        const qint64 flooded = clock.elapsed();
        const qsizetype shown = f.log.events.size() - eventsBefore;
        // Counted together with the lists shown: a loaded machine may still
        // show the flood's last lists, and ask for their models, after it.
        const int floodRequests = modelRequests(f.server) - requestsBefore;
        f.server.setDevices("C\tdevice\n");
        QTRY_COMPARE_WITH_TIMEOUT(described(f.watch.devices()), QStringLiteral("C=device"), 5000);

        const QString story = QStringLiteral("%1 frames, %2 lists shown, %3 model requests, %4 at "
                                             "once, %5 connections, %6 descriptors, %7 before")
                                  .arg(f.server.floodFramesSent())
                                  .arg(shown)
                                  .arg(floodRequests)
                                  .arg(f.server.mostInFlight("host:devices-l"))
                                  .arg(f.server.connectionsAccepted())
                                  .arg(descriptors.most)
                                  .arg(descriptorsBefore);
        qInfo("%s", qPrintable(story));
        QVERIFY2(f.server.floodFramesSent() > 10000, qPrintable(story));
        QVERIFY2(shown <= flooded / 100 + 2, qPrintable(story));
        QVERIFY2(f.server.mostInFlight("host:devices-l") <= 1, qPrintable(story));
        QVERIFY2(floodRequests <= shown + 1, qPrintable(story));
        QVERIFY2(descriptors.most <= descriptorsBefore + 8, qPrintable(story));
        // Changes that settle show during the flood, not only after it.
        QVERIFY2(!changesShow || shown >= 1, qPrintable(story));
        QCOMPARE(trackRequests(f.server), 1);
    }

    // Phones that arrive while the server is being asked for models wait
    // for that request to end, then are asked for together.
    void oneModelRequestAtATime() {
        DeviceWatchTiming timing = quickTiming();
        timing.settle = 0ms;
        WatchedServer f("A\tdevice\n", timing);
        f.server.setReply("host:devices-l",
                          FakeAdbServer::okay("A  device model:KS_200\nB  device model:HR_9\n"
                                              "C  device model:LX_1\n"));
        f.server.setReplyDelay("host:devices-l", 300ms);
        QSignalSpy models(&f.watch, &DeviceWatch::modelKnown);
        CONNECT_WATCH(f);
        QTRY_COMPARE_WITH_TIMEOUT(modelRequests(f.server), 1, 5000);
        f.server.setDevices("A\tdevice\nB\tdevice\n");
        QTest::qWait(150);
        f.server.setDevices("A\tdevice\nB\tdevice\nC\tdevice\n");
        QTRY_COMPARE_WITH_TIMEOUT(models.size(), 3, 5000);
        QCOMPARE(f.watch.model("C"), QStringLiteral("LX 1"));
        QCOMPARE(f.server.mostInFlight("host:devices-l"), 1);
        QCOMPARE(modelRequests(f.server), 2);
    }

    // Serials are reused (emulators, network addresses): a model is kept
    // while its phone stays listed, and asked anew when one comes back.
    void aModelLastsWhileItsPhoneIsListed() {
        DeviceWatchTiming timing = quickTiming();
        timing.settle = 0ms;
        WatchedServer f("emulator-5554\tdevice\n", timing);
        f.server.setReply("host:devices-l",
                          FakeAdbServer::okay("emulator-5554 device model:KS_200\n"));
        CONNECT_WATCH(f);
        QTRY_COMPARE_WITH_TIMEOUT(f.watch.model("emulator-5554"), QStringLiteral("KS 200"), 5000);
        f.server.setDevices("emulator-5554\toffline\n");
        QTRY_COMPARE_WITH_TIMEOUT(described(f.watch.devices()),
                                  QStringLiteral("emulator-5554=offline"), 5000);
        f.server.setDevices("emulator-5554\tdevice\n");
        QTRY_COMPARE_WITH_TIMEOUT(described(f.watch.devices()),
                                  QStringLiteral("emulator-5554=device"), 5000);
        QCOMPARE(f.watch.model("emulator-5554"), QStringLiteral("KS 200"));
        QCOMPARE(modelRequests(f.server), 1);

        f.server.setDevices("");
        QTRY_COMPARE_WITH_TIMEOUT(described(f.watch.devices()), QString(), 5000);
        QCOMPARE(f.watch.model("emulator-5554"), QString());
        f.server.setReply("host:devices-l",
                          FakeAdbServer::okay("emulator-5554 device model:HR_9\n"));
        f.server.setDevices("emulator-5554\tdevice\n");
        QTRY_COMPARE_WITH_TIMEOUT(f.watch.model("emulator-5554"), QStringLiteral("HR 9"), 5000);
        QCOMPARE(modelRequests(f.server), 2);
    }

    // Quit: the watch lets go of the server and never comes back, whatever
    // happens to the server afterwards.
    void aStoppedWatchNeverReconnects() {
        WatchedServer f("A\tdevice\n");
        CONNECT_WATCH(f);
        f.watch.stop();
        QTRY_COMPARE_WITH_TIMEOUT(f.server.trackingConnections(), 0, 5000);
        f.server.goAway();
        QVERIFY(f.server.listen());
        f.watch.poke();
        f.watch.start();

        // A second watch's connection, made after, is the only new one.
        DeviceWatch other(f.server.address(), quickTiming());
        other.start();
        QTRY_VERIFY_WITH_TIMEOUT(other.isConnected(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(f.server.trackingConnections(), 1, 5000);
        QCOMPARE(trackRequests(f.server), 2);
        QCOMPARE(f.log.events, (QStringList{"list:A=device", "connected"}));
    }
};

QTEST_GUILESS_MAIN(AdbServerWatchTest)
#include "test_adb_server_watch.moc"
