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

QJsonArray listing(const QList<QPair<QString, QString>>& devices) {
    QJsonArray lines;
    for (const auto& [serial, state] : devices)
        lines.append(QJsonArray{serial, state});
    return lines;
}

using DeviceList = std::pair<QStringList, int>;

} // namespace

class DeviceDiscoveryTest : public QObject {
    Q_OBJECT

    std::unique_ptr<SessionFixture> f;

    void attach(const QJsonObject& scenario) {
        f.reset();
        f = std::make_unique<SessionFixture>(scenario);
    }

private Q_SLOTS:
    void cleanup() { f.reset(); }

    void noDeviceListsAgainUntilOneIsFound() {
        attach({{"listings", QJsonArray{listing({}), listing({{"R58M123", "device"}})}}});
        QCOMPARE(f->run(f->session.adbDevices()), 0);
        QCOMPARE(f->seen.console,
                 "Checking Android devices...\nList of devices attached\n\n" + NoDeviceLines);
        QCOMPARE(f->seen.failures, NoDeviceLines);
        // Emptied while adb runs, then filled.
        QCOMPARE(f->seen.deviceLists, (QList<DeviceList>{{{}, -1}, {{"No device"}, 0}}));
        QCOMPARE(f->session.bridge().deviceCount, 0);

        f->seen.clear();
        QCOMPARE(f->run(f->session.adbDevices()), 1);
        QCOMPARE(f->seen.console,
                 "Checking Android devices...\nList of devices attached\nR58M123\tdevice\n\n");
        QCOMPARE(f->seen.deviceLists, (QList<DeviceList>{{{}, -1}, {{"R58M123"}, 0}}));
        QCOMPARE(f->session.selectedDevice(), "R58M123");

        // Found once, found for good: no further listing, no output.
        f->seen.clear();
        QCOMPARE(f->run(f->session.adbDevices()), 1);
        QCOMPARE(f->seen.console, QString());
        QCOMPARE(f->seen.deviceLists, QList<DeviceList>{});
        QCOMPARE(f->phone.invocations(), (QList<QStringList>{devices(), devices()}));
    }

    void unusableDevicesAreNamedWithWhatToDo() {
        attach({{"listings", QJsonArray{QJsonValue(
                                 listing({{"AAA111", "unauthorized"}, {"BBB222", "offline"}}))}}});
        f->run(f->session.toggleServer());
        const QString advice =
            "Device AAA111 is unauthorized: unlock it, accept the USB debugging prompt "
            "on the device, then try again.\n"
            "Device BBB222 is offline: disconnect the USB cable and reconnect it, then "
            "try again.\n";
        QCOMPARE(f->seen.console, "Starting Ostrel VNC Server on device...\n"
                                  "Checking Android devices...\nList of devices attached\n"
                                  "AAA111\tunauthorized\nBBB222\toffline\n\n" +
                                      NoDeviceLines + advice);
        QCOMPARE(f->seen.failures, NoDeviceLines + advice);
        QCOMPARE(f->seen.deviceLists.last(), DeviceList({"No device"}, 0));
        QCOMPARE(f->phone.invocations(), QList<QStringList>{devices()});
        QCOMPARE(f->seen.serverStates, QList<bool>{});
    }

    // Each device keeps what is known about its own server: a command for one
    // never carries another's path, and the state shown is the selected one's.
    void eachDeviceKeepsItsOwnServer() {
        attach({{"listings",
                 QJsonArray{QJsonValue(listing({{"AAA111", "device"}, {"BBB222", "device"}}))}},
                {"package", FirstPackage},
                {"phones", QJsonObject{{"BBB222", QJsonObject{{"package", SecondPackage}}}}}});
        f->run(f->session.toggleServer());
        QCOMPARE(f->seen.deviceLists.last(), DeviceList({"AAA111", "BBB222"}, 0));
        QList<QStringList> expected{devices()};
        expected +=
            onDevice("AAA111", {launchActivity(FirstPackage), launchActivity(SecondPackage),
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
        QCOMPARE(f->runsSince(runs), onDevice("AAA111", {processList(), stopServer(FirstPackage),
                                                         processList(), processList()}));
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
            {"listings",
             QJsonArray{QJsonValue(listing({{"AAA111", "device"}, {"BBB222", "device"}}))}},
            {"package", FirstPackage},
            {"phones", QJsonObject{{"BBB222", other}}}};
        if (!goneFrom.isUndefined())
            scenario.insert("goneFrom", goneFrom);
        attach(scenario);
        QCOMPARE(f->run(f->session.adbDevices()), 2);
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
        const QJsonArray both{listing({{"AAA111", "device"}, {"BBB222", "device"}})};
        attach({{"listings", both}, {"package", FirstPackage}, {"goneFrom", 2}});
        f->run(f->session.adbDevices());
        f->session.selectDevice("BBB222");
        f->run(f->session.probeSelectedDevice()); // adb lost it for a moment
        f->phone.setScenario({{"listings", both}, {"package", FirstPackage}});
        f->seen.clear();
        QCOMPARE(f->run(f->session.adbDevices()), 2);
        QCOMPARE(f->seen.deviceLists.last(), DeviceList({"AAA111", "BBB222"}, 1));
        QCOMPARE(f->session.selectedDevice(), "BBB222");
    }
};

QTEST_MAIN(DeviceDiscoveryTest)
#include "test_device_discovery.moc"
