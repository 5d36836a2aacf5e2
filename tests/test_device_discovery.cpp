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
        attach({{"listings",
                 QJsonArray{listing({{"AAA111", "unauthorized"}, {"BBB222", "offline"}})}}});
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

    void severalDevicesNameTheSelectedOne() {
        attach({{"listings", QJsonArray{listing({{"AAA111", "device"}, {"BBB222", "device"}})}},
                {"package", FirstPackage}});
        f->run(f->session.toggleServer());
        QCOMPARE(f->seen.deviceLists.last(), DeviceList({"AAA111", "BBB222"}, 0));
        QList<QStringList> expected{devices()};
        expected +=
            onDevice("AAA111", {launchActivity(FirstPackage), launchActivity(SecondPackage),
                                fileList(FirstPackage), runServer(FirstPackage), processList()});
        QCOMPARE(f->phone.invocations(), expected);
        QCOMPARE(f->seen.serverStates, QList<bool>{true});

        // The user's choice is told nobody, and aims the next commands.
        const QString before = f->seen.console;
        f->session.selectDevice("BBB222");
        QCOMPARE(f->session.selectedDevice(), "BBB222");
        QCOMPARE(f->seen.console, before);
        // A serial that is not listed cannot be chosen.
        f->session.selectDevice("CCC333");
        QCOMPARE(f->session.selectedDevice(), "BBB222");

        const qsizetype runs = f->phone.invocations().size();
        f->run(f->session.toggleServer());
        QCOMPARE(f->runsSince(runs), onDevice("BBB222", {processList(), stopServer(FirstPackage),
                                                         processList(), processList()}));
        QCOMPARE(f->seen.serverStates, (QList<bool>{true, false}));
    }
};

QTEST_MAIN(DeviceDiscoveryTest)
#include "test_device_discovery.moc"
