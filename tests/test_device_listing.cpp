#include "core/device/DeviceListing.h"

#include <QTest>

using namespace ostrel;

class DeviceListingTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void findsDevicesThatCannotBeUsed_data() {
        QTest::addColumn<QByteArray>("listing");
        QTest::addColumn<QStringList>("found"); // serial and state, in turn
        QTest::newRow("usable device only")
            << QByteArray("List of devices attached\nR58M123\tdevice\n\n") << QStringList{};
        QTest::newRow("unauthorized and offline, CR LF")
            << QByteArray("List of devices attached\r\nAAA\tunauthorized\r\nBBB\toffline\r\n")
            << QStringList{"AAA", "unauthorized", "BBB", "offline"};
        QTest::newRow("long form with further fields")
            << QByteArray("List of devices attached\nAAA            unauthorized usb:1-1 "
                          "transport_id:3\n")
            << QStringList{"AAA", "unauthorized"};
        QTest::newRow("no permissions with explanation")
            << QByteArray("List of devices attached\nCCC\tno permissions (missing udev rules? "
                          "user is in the plugdev group); see [http://x/device.html]\n")
            << QStringList{"CCC", "no permissions"};
        QTest::newRow("daemon chatter and empty output")
            << QByteArray("* daemon not running; starting now at tcp:5037\n* daemon started "
                          "successfully\nList of devices attached\n\n")
            << QStringList{};
        QTest::newRow("a state word that only starts alike is not a state")
            << QByteArray("DDD\tofflineish\n") << QStringList{};
        QTest::newRow("control characters never reach the console")
            << QByteArray("E\x1b[31mE\tunauthorized\n") << QStringList{"E[31mE", "unauthorized"};
    }
    void findsDevicesThatCannotBeUsed() {
        QFETCH(QByteArray, listing);
        QFETCH(QStringList, found);
        QStringList actual;
        for (const UnusableDevice& device : unusableDevices(listing))
            actual << device.serial << device.state;
        QCOMPARE(actual, found);
    }

    void adviceNamesTheDeviceAndWhatToDo_data() {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("hint");
        QTest::newRow("unauthorized") << "unauthorized"
                                      << "accept the USB debugging prompt";
        QTest::newRow("offline") << "offline"
                                 << "reconnect it";
        QTest::newRow("no permissions") << "no permissions"
                                        << "reconnect the cable";
    }
    void adviceNamesTheDeviceAndWhatToDo() {
        QFETCH(QString, state);
        QFETCH(QString, hint);
        const QString line = unusableDeviceAdvice({"R58M123", state});
        QVERIFY2(line.startsWith("Device R58M123 "), qPrintable(line));
        QVERIFY2(line.contains(hint), qPrintable(line));
        QVERIFY(line.endsWith("\n") && line.count('\n') == 1);
    }
};

QTEST_GUILESS_MAIN(DeviceListingTest)
#include "test_device_listing.moc"
