// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/device/AdbFailure.h"
#include "core/device/SerialArgument.h"
#include "core/process/ProcessRunner.h"
#include "support/ConsoleTexts.h"
#include "support/PhoneCommands.h"
#include "support/SessionFixture.h"
#include "support/SessionParts.h"
#include "support/StandInAdb.h"

#include <QJsonArray>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;
using namespace ostrel::test::phone;
using namespace ostrel::test::texts;

namespace {

QJsonArray listing(const QList<QPair<QString, QString>>& devices) {
    QJsonArray lines;
    for (const auto& [serial, state] : devices)
        lines.append(QJsonArray{serial, state});
    return lines;
}

using DeviceList = std::pair<QStringList, int>;

QJsonArray listings(const QList<QJsonArray>& each) {
    QJsonArray all;
    for (const QJsonArray& one : each)
        all.append(one);
    return all;
}

const QString NoLongerA = QStringLiteral("Device AAA111 is no longer attached.\n");

// The real runner on a stand-in adb, which answers every command alike.
struct StandInSession {
    explicit StandInSession(Waits waits = fastWaits())
        : session(runner, settings, adbAt(adb.path()), SessionEnvironment{}, waits), seen(session) {
    }

    QTemporaryDir directory;
    StandInAdb adb{directory.filePath(QStringLiteral("adb-bin"))};
    ProcessRunner runner;
    MemorySettings settings;
    BridgeSession session;
    SessionRecorder seen;
};

const QString NulSerial = QStringLiteral("AB") + QChar(0) + QStringLiteral("CD");
const QString NulRefused =
    QStringLiteral("Error: adb cannot name a device whose serial holds a NUL character.\n");

} // namespace

class DeviceDiscoveryTest : public QObject {
    Q_OBJECT

    std::unique_ptr<SessionFixture> f;

    void attach(const QJsonObject& scenario) {
        f.reset();
        f = std::make_unique<SessionFixture>(scenario);
    }
    // The phones listed for a script, then one chosen as the user would.
    void chooseAfterListing(const QString& serial) {
        QVERIFY(f->run(f->session.listDevices()).goesOn());
        f->session.selectDevice(serial);
    }

private Q_SLOTS:
    void cleanup() { f.reset(); }

    // Every flow asks adb anew, so that a phone plugged in later is found and
    // one unplugged is not taken for present.
    void everyListingAsksAdbAnew() {
        ScriptedPhone scripted(
            {{"listings", listings({listing({}), listing({{"R58M123", "device"}})})}});
        SessionParts parts(scripted, adbAt(SessionFixture::AdbPath));
        Step<QString> phone = QCoro::waitFor(parts.discovery.adbDevices());
        QVERIFY(!phone.goesOn());
        QCOMPARE(parts.seen.console,
                 "Checking Android devices...\nList of devices attached\n\n" + NoDeviceLines);
        QCOMPARE(parts.seen.failures, NoDeviceLines);
        QCOMPARE(parts.seen.deviceLists, (QList<DeviceList>{{{"No device"}, 0}}));

        parts.seen.clear();
        phone = QCoro::waitFor(parts.discovery.adbDevices());
        QCOMPARE(phone.value, "R58M123");
        QCOMPARE(parts.seen.console,
                 "Checking Android devices...\nList of devices attached\nR58M123\tdevice\n\n");
        QCOMPARE(parts.seen.deviceLists, (QList<DeviceList>{{{"R58M123"}, 0}}));
        QCOMPARE(parts.discovery.selectedDevice(), "R58M123");

        parts.seen.clear();
        phone = QCoro::waitFor(parts.discovery.adbDevices());
        QCOMPARE(phone.value, "R58M123");
        QCOMPARE(parts.seen.deviceLists, (QList<DeviceList>{{{"R58M123"}, 0}}));
        QCOMPARE(scripted.invocations(), (QList<QStringList>{devices(), devices(), devices()}));
    }

    // Attached phones that cannot be used are listed with their state, cannot
    // be chosen, and are explained once per listing.
    void unusableDevicesAreShownWithWhatToDo() {
        attach({{"listings",
                 listings({listing(
                     {{"AAA111", "unauthorized"},
                      {"BBB222", "offline"},
                      {"0123456789ABCDEF",
                       "no permissions (missing udev rules? user is in the plugdev "
                       "group); see [http://developer.android.com/tools/device.html]"}})})}});
        f->run(f->session.toggleServer());
        const QString advice =
            "Device AAA111 is unauthorized: unlock it, accept the USB debugging prompt "
            "on the device, then try again.\n"
            "Device BBB222 is offline: disconnect the USB cable and reconnect it, then "
            "try again.\n"
            "Device 0123456789ABCDEF cannot be used (no permissions): allow this computer's user "
            "to access the device over USB, reconnect the cable, then try again.\n";
        QVERIFY2(f->seen.failures == advice + NoDeviceLines, qPrintable(f->seen.failures));
        QCOMPARE(f->seen.deviceLists.last(),
                 DeviceList({"No device", "AAA111 \u2014 unauthorized", "BBB222 \u2014 offline",
                             "0123456789ABCDEF \u2014 no permissions"},
                            0));
        QCOMPARE(f->phone.invocations(), QList<QStringList>{devices()});
        QCOMPARE(f->seen.serverStates, QList<bool>{});
        // Not a phone to choose, whatever is asked.
        f->session.selectDevice("AAA111");
        QCOMPARE(f->session.selectedDevice(), QString());
    }

    // Every command names its phone, with one phone attached as with several.
    void everyDeviceCommandNamesItsPhone() {
        attach({{"listings", listings({listing({{"R58M123", "device"}})})},
                {"package", FirstPackage}});
        f->run(f->session.toggleServer());
        f->run(f->session.toggleServer());
        f->run(f->session.usbConnect(portOf(5901)));
        const QList<QStringList> runs = f->phone.invocations();
        QVERIFY(runs.size() > 10);
        for (const QStringList& run : runs)
            QVERIFY2(run == devices() || run.mid(0, 2) == QStringList({"-s", "R58M123"}),
                     qPrintable(run.join(' ')));
        // Nothing listens behind the scripted forward.
        QCOMPARE(f->seen.failures, nothingAnswers(5901));
    }

    // Each phone keeps what is known about its own server: a command for one
    // never carries another's path, and the state shown is the selected one's.
    void eachDeviceKeepsItsOwnServer() {
        attach({{"listings", listings({listing({{"AAA111", "device"}, {"BBB222", "device"}})})},
                {"package", FirstPackage},
                {"phones", QJsonObject{{"BBB222", QJsonObject{{"package", SecondPackage}}}}}});
        f->run(f->session.toggleServer());
        QCOMPARE(f->seen.deviceLists.last(), DeviceList({"AAA111", "BBB222"}, 0));
        QList<QStringList> expected{devices()};
        expected +=
            onDevice("AAA111", {fileList(FirstPackage), processList(), launchActivity(FirstPackage),
                                fileList(FirstPackage), runServer(FirstPackage), processList()});
        QCOMPARE(f->phone.invocations(), expected);
        QCOMPARE(f->seen.serverStates, QList<bool>{true});

        // Chosen and looked at without a word.
        const QString console = f->seen.console;
        f->session.selectDevice("BBB222");
        QCOMPARE(f->session.selectedDevice(), "BBB222");
        qsizetype runs = f->phone.invocations().size();
        f->run(f->session.probeSelectedDevice());
        QCOMPARE(f->runsSince(runs), onDevice("BBB222", {fileList(FirstPackage),
                                                         fileList(SecondPackage), processList()}));
        QCOMPARE(f->seen.serverStates, (QList<bool>{true, false}));
        QCOMPARE(f->seen.console, console);
        // A serial that is not listed cannot be chosen.
        f->session.selectDevice("CCC333");
        QCOMPARE(f->session.selectedDevice(), "BBB222");

        runs = f->phone.invocations().size();
        f->run(f->session.toggleServer());
        QCOMPARE(f->runsSince(runs),
                 QList<QStringList>{devices()} +
                     onDevice("BBB222",
                              {processList(), launchActivity(SecondPackage), fileList(FirstPackage),
                               fileList(SecondPackage), runServer(SecondPackage), processList()}));
        QCOMPARE(f->seen.serverStates, (QList<bool>{true, false, true}));

        // Back on the first, whose path is known: one listing is enough.
        f->session.selectDevice("AAA111");
        runs = f->phone.invocations().size();
        f->run(f->session.probeSelectedDevice());
        QCOMPARE(f->runsSince(runs), onDevice("AAA111", {processList()}));
        QCOMPARE(f->seen.serverStates, (QList<bool>{true, false, true, true}));

        runs = f->phone.invocations().size();
        f->run(f->session.toggleServer());
        QCOMPARE(f->runsSince(runs),
                 QList<QStringList>{devices()} +
                     onDevice("AAA111", {processList(), stopServer(FirstPackage), processList(),
                                         processList()}));
        QCOMPARE(f->seen.serverStates, (QList<bool>{true, false, true, true, false}));
        QCOMPARE(f->seen.failures, QString());
    }

    void probeOfTheSelectedDevice_data() {
        QTest::addColumn<QJsonObject>("other"); // the scenario of BBB222
        QTest::addColumn<QJsonValue>("goneFrom");
        QTest::addColumn<QList<QStringList>>("runs");
        QTest::addColumn<QList<bool>>("states");
        QTest::addColumn<QString>("failures");
        const QList<QStringList> looked{fileList(FirstPackage), processList()};
        QTest::newRow("stopped") << QJsonObject{} << QJsonValue() << looked << QList<bool>{false}
                                 << QString();
        QTest::newRow("running") << QJsonObject{{"running", true}} << QJsonValue() << looked
                                 << QList<bool>{true} << QString();
        QTest::newRow("not installed")
            << QJsonObject{{"package", QJsonValue::Null}} << QJsonValue()
            << QList<QStringList>{fileList(FirstPackage), fileList(SecondPackage)}
            << QList<bool>{false} << QString();
        QTest::newRow("listing refused")
            << QJsonObject{{"listingDenied", true}} << QJsonValue()
            << QList<QStringList>{fileList(FirstPackage), fileList(SecondPackage)} << QList<bool>{}
            << "ls: " + executableOf(FirstPackage) +
                   ": Permission denied\nls: " + executableOf(SecondPackage) +
                   ": Permission denied\n" + FilesNotChecked;
        // The listing of devices is the first run.
        QTest::newRow("gone before the process listing")
            << QJsonObject{} << QJsonValue(3) << looked << QList<bool>{}
            << "error: device 'BBB222' not found\n";
    }
    void probeOfTheSelectedDevice() {
        QFETCH(QJsonObject, other);
        QFETCH(QJsonValue, goneFrom);
        QFETCH(QList<QStringList>, runs);
        QFETCH(QList<bool>, states);
        QFETCH(QString, failures);
        QJsonObject scenario{
            {"listings", listings({listing({{"AAA111", "device"}, {"BBB222", "device"}})})},
            {"package", FirstPackage},
            {"phones", QJsonObject{{"BBB222", other}}}};
        if (!goneFrom.isUndefined())
            scenario.insert("goneFrom", goneFrom);
        attach(scenario);
        QVERIFY(f->run(f->session.listDevices()).goesOn());
        f->seen.clear();
        f->session.selectDevice("BBB222");
        f->run(f->session.probeSelectedDevice());
        QCOMPARE(f->runsSince(1), onDevice("BBB222", runs));
        QCOMPARE(f->seen.serverStates, states);
        QCOMPARE(f->seen.console, failures);
        QCOMPARE(f->seen.failures, failures);
        QCOMPARE(f->seen.busyChanges, (QList<bool>{true, false}));
    }

    void aChoiceStandsWhenTheListIsRefilled() {
        const QJsonArray both = listings({listing({{"AAA111", "device"}, {"BBB222", "device"}})});
        ScriptedPhone phone({{"listings", both}, {"package", FirstPackage}});
        SessionParts parts(phone, adbAt(SessionFixture::AdbPath));
        QCoro::waitFor(parts.discovery.adbDevices());
        parts.discovery.selectDevice("BBB222");
        parts.seen.clear();
        QCOMPARE(QCoro::waitFor(parts.discovery.adbDevices()).value, "BBB222");
        QCOMPARE(parts.seen.deviceLists.last(), DeviceList({"AAA111", "BBB222"}, 1));
        QCOMPARE(parts.discovery.selectedDevice(), "BBB222");
    }

    // Phone A, whose server runs, is unplugged and phone B, whose server runs
    // too, plugged in between the listing and the stop: the command names A
    // and fails, B gets nothing, and nothing is claimed.
    void aSwapBetweenListingAndCommandReachesNoOtherPhone() {
        attach({{"listings",
                 listings({listing({{"AAA111", "device"}}), listing({{"AAA111", "device"}}),
                           listing({{"BBB222", "device"}})})},
                {"package", FirstPackage},
                {"running", true}});
        chooseAfterListing("AAA111");
        f->run(f->session.probeSelectedDevice());
        QCOMPARE(f->seen.serverStates, QList<bool>{true});
        f->seen.clear();
        const qsizetype runs = f->phone.invocations().size();
        f->run(f->session.toggleServer());
        // The listing still shows A; the process listing for A finds it gone.
        QCOMPARE(f->runsSince(runs),
                 QList<QStringList>{devices()} + onDevice("AAA111", {processList()}));
        QCOMPARE(f->seen.failures, "error: device 'AAA111' not found\n");
        QVERIFY(!f->seen.console.contains("successfully"));
        QCOMPARE(f->seen.serverStates, QList<bool>{});
    }

    // The selected one of two phones leaves while the program is idle: the
    // next flow says so, selects the other, probes it without a word, and
    // sends it nothing else.
    void theSelectedPhoneLeaves() {
        attach({{"listings", listings({listing({{"AAA111", "device"}, {"BBB222", "device"}}),
                                       listing({{"BBB222", "device"}})})},
                {"package", FirstPackage},
                {"running", true}});
        chooseAfterListing("AAA111");
        QCOMPARE(f->session.selectedDevice(), "AAA111");
        f->seen.clear();
        f->run(f->session.toggleServer());
        QCOMPARE(f->seen.console, Starting +
                                      "Checking Android devices...\nList of devices attached\n"
                                      "BBB222\tdevice\n\n" +
                                      NoLongerA);
        QCOMPARE(f->seen.failures, NoLongerA);
        QCOMPARE(f->seen.deviceLists.last(), DeviceList({"BBB222"}, 0));
        QCOMPARE(f->session.selectedDevice(), "BBB222");
        // The new selection is probed, as a choice is, and nothing more.
        QCOMPARE(f->runsSince(1), QList<QStringList>{devices()} +
                                      onDevice("BBB222", {fileList(FirstPackage), processList()}));
        QCOMPARE(f->seen.serverStates, QList<bool>{true});
    }

    void theOnlyPhoneLeaves() {
        attach({{"listings", listings({listing({{"AAA111", "device"}}),
                                       listing({{"BBB222", "unauthorized"}})})},
                {"package", FirstPackage}});
        chooseAfterListing("AAA111");
        f->seen.clear();
        f->run(f->session.toggleServer());
        QCOMPARE(f->seen.failures,
                 "Device BBB222 is unauthorized: unlock it, accept the USB debugging prompt "
                 "on the device, then try again.\n" +
                     NoLongerA + NoDeviceLines);
        QCOMPARE(f->seen.deviceLists.last(),
                 DeviceList({"No device", "BBB222 \u2014 unauthorized"}, 0));
        QCOMPARE(f->session.selectedDevice(), QString());
        QCOMPARE(f->phone.invocations(), (QList<QStringList>{devices(), devices()}));
    }

    // When adb itself fails to list (its server cannot be reached, its
    // environment names no server, it is not adb at all), that is said in
    // adb's own words with the setup to check, never taken for an empty list:
    // the phones are not at fault. The window's flows and the command line's
    // listing alike.
    void aListingAdbFailedToMakeIsAdbsFailure_data() {
        QTest::addColumn<QByteArray>("standardError");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<double>("sleep");
        QTest::addColumn<QString>("said"); // before the setup line; %1: the stand-in's path
        QTest::newRow("server on another host refuses")
            << QByteArray("* cannot start server on remote host\n"
                          "adb: failed to check server version: cannot connect to daemon at "
                          "tcp:192.0.2.1:5037: Connection refused\n")
            << 1 << 0.0
            << "Error: adb devices failed (exit status 1).\n"
               "* cannot start server on remote host\n"
               "adb: failed to check server version: cannot connect to daemon at "
               "tcp:192.0.2.1:5037: Connection refused\n";
        QTest::newRow("port out of range")
            << QByteArray("adb: $ANDROID_ADB_SERVER_PORT must be a positive number less than "
                          "65535: got \"70000\"\n")
            << 1 << 0.0
            << "Error: adb devices failed (exit status 1).\n"
               "adb: $ANDROID_ADB_SERVER_PORT must be a positive number less than 65535: got "
               "\"70000\"\n";
        // An "error:" line is no phone's complaint when no phone was named.
        QTest::newRow("an error line with controls")
            << QByteArray("error: cannot connect to daemon\x1b]0;owned\x07\n") << 1 << 0.0
            << "Error: adb devices failed (exit status 1).\n"
               "error: cannot connect to daemon\u241B]0;owned\u2407\n";
        QTest::newRow("exit 3 without a word")
            << QByteArray() << 3 << 0.0 << "Error: adb devices failed (exit status 3).\n";
        QTest::newRow("no answer in time")
            << QByteArray() << 0 << 5.0
            << "Error: %1 did not finish within 0.3 seconds and was stopped.\n";
    }
    void aListingAdbFailedToMakeIsAdbsFailure() {
        QFETCH(QByteArray, standardError);
        QFETCH(int, exitCode);
        QFETCH(double, sleep);
        QFETCH(QString, said);
        Waits waits = fastWaits();
        waits.commandTimeout = std::chrono::milliseconds(300);
        StandInSession f(waits);
        f.adb.setStandardOutput("List of devices attached\n\n");
        f.adb.setStandardError(standardError);
        f.adb.setExitCode(exitCode);
        if (sleep > 0)
            f.adb.setSleepSeconds(sleep);
        QString expected = said.contains(u"%1") ? said.arg(f.adb.path()) : said;
        expected += adbSetupToCheck(f.adb.path(), QProcessEnvironment::systemEnvironment());
        expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));

        QVERIFY(!QCoro::waitFor(f.session.startServer()));
        QCOMPARE(f.seen.failures, expected);
        f.seen.clear();
        QVERIFY(!QCoro::waitFor(f.session.listDevices()).goesOn());
        QCOMPARE(f.seen.failures, expected);
        QCOMPARE(f.adb.invocations(), (QList<QStringList>{devices(), devices()}));
    }

    // A serial adb cannot be given whole gets no command at all: exec would
    // cut it at its NUL, and the rest may name another phone; one too long
    // for adb's argument list would be taken for an adb that cannot run.
    // Such serials come from adb's listing or from the server's own list.
    void aSerialAdbCannotNameGetsNoCommand_data() {
        QTest::addColumn<QString>("serial");
        QTest::addColumn<bool>("watched");
        QTest::addColumn<QString>("said");
        QTest::newRow("NUL, listed by adb") << NulSerial << false << NulRefused;
        QTest::newRow("NUL, listed by the server") << NulSerial << true << NulRefused;
        const QString mebibyte(1 << 20, u'A');
        QTest::newRow("a mebibyte")
            << mebibyte << false
            << QStringLiteral("Error: adb cannot name a device whose serial is 1048576 bytes "
                              "long: an argument to adb may hold at most %1.\n")
                   .arg(MaxSerialBytes);
    }
    void aSerialAdbCannotNameGetsNoCommand() {
        QFETCH(QString, serial);
        QFETCH(bool, watched);
        QFETCH(QString, said);
        // The part before the NUL is a phone of its own, which must get nothing either.
        attach({{"listings", listings({listing({{serial, "device"}, {"AB", "device"}})})},
                {"package", FirstPackage}});
        if (watched) {
            f->server.setDevices(serial.toUtf8() + "\tdevice\nAB\tdevice\n");
            DeviceWatchTiming timing;
            timing.retry = std::chrono::milliseconds(50);
            f->session.startWatching(timing);
            QTRY_VERIFY(f->session.followsDevices());
            QTRY_COMPARE(f->session.selectedDevice(), serial);
            QTRY_VERIFY(!f->session.isBusy());
        }
        f->seen.clear();
        QVERIFY(!f->run(f->session.startServer()));
        QCOMPARE(f->seen.failures, said);
        QCOMPARE(f->session.selectedDevice(), serial);
        for (const QStringList& run : f->phone.invocations())
            QVERIFY2(run == devices(), qPrintable(run.join(u' ').left(200)));
        QCOMPARE(f->phone.invocations().size(), watched ? 0 : 1);
        QCOMPARE(f->seen.serverStates, QList<bool>{});
    }

    // Wireless serials hold spaces; the whole serial is named.
    void aSerialWithSpacesIsNamedWhole() {
        const QString wireless = "adb-14141FDF600081-QXjCrW (2)._adb-tls-connect._tcp";
        attach(
            {{"listings", listings({listing({{wireless, "device"}})})}, {"package", FirstPackage}});
        f->run(f->session.toggleServer());
        QCOMPARE(f->phone.invocations().value(1),
                 (QStringList{"-s", wireless} + fileList(FirstPackage)));
        QCOMPARE(f->seen.deviceLists.last(), DeviceList({wireless}, 0));
        QCOMPARE(f->seen.serverStates, QList<bool>{true});
    }
};

QTEST_GUILESS_MAIN(DeviceDiscoveryTest)
#include "test_device_discovery.moc"
