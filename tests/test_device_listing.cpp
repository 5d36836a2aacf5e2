// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/device/DeviceListing.h"
#include "core/text/VisibleText.h"

#include <QTest>

using namespace ostrel;

namespace {

// Serial, state and whether usable, in turn, for each device found.
QStringList described(const QList<ListedDevice>& devices) {
    QStringList parts;
    for (const ListedDevice& device : devices)
        parts << device.serial << device.state << (device.usable() ? "usable" : "unusable");
    return parts;
}

const char NoPermissions[] = "no permissions (missing udev rules? user is in the plugdev group); "
                             "see [http://developer.android.com/tools/device.html]";

} // namespace

class DeviceListingTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Lines as adb 29 to 35 print them.
    void readsListingsAsAdbWritesThem_data() {
        QTest::addColumn<QByteArray>("listing");
        QTest::addColumn<QStringList>("found");
        QTest::newRow("one usable phone")
            << QByteArray("List of devices attached\nR58M123\tdevice\n\n")
            << QStringList{"R58M123", "device", "usable"};
        QTest::newRow("no permissions keeps its whole serial and is not usable")
            << QByteArray("List of devices attached\n0123456789ABCDEF\t") + NoPermissions + "\n"
            << QStringList{"0123456789ABCDEF", NoPermissions, "unusable"};
        QTest::newRow("wireless serial with spaces")
            << QByteArray("List of devices attached\n"
                          "adb-14141FDF600081-QXjCrW (2)._adb-tls-connect._tcp\tdevice\n")
            << QStringList{"adb-14141FDF600081-QXjCrW (2)._adb-tls-connect._tcp", "device",
                           "usable"};
        QTest::newRow("offline phone whose serial says device")
            << QByteArray("mydevice01\toffline\n")
            << QStringList{"mydevice01", "offline", "unusable"};
        QTest::newRow("emulator and network serials")
            << QByteArray("List of devices attached\nemulator-5554\tdevice\n192.168.1.20:5555\t"
                          "device\n127.0.0.1:40123\tdevice\n")
            << QStringList{"emulator-5554",     "device", "usable",
                           "192.168.1.20:5555", "device", "usable",
                           "127.0.0.1:40123",   "device", "usable"};
        QTest::newRow("CR LF line ends")
            << QByteArray("List of devices attached\r\nAAA\tunauthorized\r\nBBB\tdevice\r\n\r\n")
            << QStringList{"AAA", "unauthorized", "unusable", "BBB", "device", "usable"};
        QTest::newRow("empty listing")
            << QByteArray("List of devices attached\n\n") << QStringList{};
        QTest::newRow("nothing at all") << QByteArray() << QStringList{};
        QTest::newRow("daemon chatter")
            << QByteArray("* daemon not running; starting now at tcp:5037\n* daemon started "
                          "successfully\nList of devices attached\nR1\tdevice\n")
            << QStringList{"R1", "device", "usable"};
        QTest::newRow("a last line without its line end")
            << QByteArray("R1\tdevice") << QStringList{"R1", "device", "usable"};
        QTest::newRow("a line with no serial before its tab is no device")
            << QByteArray("\tdevice\n") << QStringList{};
        QTest::newRow("a state that only starts alike is not usable")
            << QByteArray("R1\tdevices\nR2\tdevice \n")
            << QStringList{"R1", "devices", "unusable", "R2", "device ", "unusable"};
    }
    void readsListingsAsAdbWritesThem() {
        QFETCH(QByteArray, listing);
        QFETCH(QStringList, found);
        QCOMPARE(described(parseDeviceListing(listing)), found);
    }

    // The phones that take commands, line by line as adb's listing gives them.
    void usablePhonesInListingOrder_data() {
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<QStringList>("usable");
        using L = QList<QByteArray>;
        QTest::newRow("header, one device, empty")
            << L{"List of devices attached", "0123ABCD\tdevice", ""} << QStringList{"0123ABCD"};
        QTest::newRow("unauthorized and offline not counted")
            << L{"A1\tunauthorized", "B2\toffline"} << QStringList{};
        // The state is the whole rest of the line: only "device" is usable.
        QTest::newRow("tab then space cut at space") << L{"SER\tdevice product:x"} << QStringList{};
        // The serial runs to the tab, spaces and all.
        QTest::newRow("leading space stays on the serial")
            << L{" SER\tdevice"} << QStringList{" SER"};
        QTest::newRow("wireless serial keeps its spaces")
            << L{"adb-1-Q (2)._adb-tls-connect._tcp\tdevice"}
            << QStringList{"adb-1-Q (2)._adb-tls-connect._tcp"};
        QTest::newRow("two devices in order")
            << L{"emulator-5554\tdevice", "127.0.0.1:5555\tdevice"}
            << QStringList{"emulator-5554", "127.0.0.1:5555"};
        QTest::newRow("daemon start lines ignored")
            << L{"* daemon not running; starting now at tcp:5037", "* daemon started successfully"}
            << QStringList{};
        // No tab, no device; a CR ends the state, not the serial.
        QTest::newRow("CR kept on the serial when no space or tab")
            << L{"device\r", "SER\tdevice\r"} << QStringList{"SER"};
        QTest::newRow("a process line is no device")
            << L{"root 1 2 ostrelvncserver", ""} << QStringList{};
    }
    void usablePhonesInListingOrder() {
        QFETCH(QList<QByteArray>, lines);
        QFETCH(QStringList, usable);
        QStringList serials;
        for (const ListedDevice& device : parseDeviceListing(lines.join('\n')))
            if (device.usable())
                serials << device.serial;
        QCOMPARE(serials, usable);
    }

    void everyStateOtherThanDeviceIsUnusable_data() {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("shown");
        for (const char* state :
             {"unauthorized", "offline", "authorizing", "connecting", "recovery", "sideload",
              "bootloader", "host", "rescue", "unknown"})
            QTest::newRow(state) << state << state;
        QTest::newRow("no permissions") << NoPermissions << "no permissions";
        QTest::newRow("semicolon first") << "weird; (x)"
                                         << "weird";
    }
    void everyStateOtherThanDeviceIsUnusable() {
        QFETCH(QString, state);
        QFETCH(QString, shown);
        const QList<ListedDevice> devices =
            parseDeviceListing(QByteArray("SER\t") + state.toUtf8() + "\n");
        QCOMPARE(devices.size(), 1);
        QVERIFY(!devices.first().usable());
        QCOMPARE(shownState(devices.first().state), shown);
    }

    void adviceComesFromTheSameReading_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("advice");
        QTest::newRow("unauthorized")
            << QByteArray("R58M123\tunauthorized")
            << "Device R58M123 is unauthorized: unlock it, accept the USB debugging prompt on "
               "the device, then try again.\n";
        QTest::newRow("offline")
            << QByteArray("R58M123\toffline")
            << "Device R58M123 is offline: disconnect the USB cable and reconnect it, then try "
               "again.\n";
        QTest::newRow("no permissions")
            << QByteArray("0123456789ABCDEF\t") + NoPermissions
            << "Device 0123456789ABCDEF cannot be used (no permissions): allow this computer's "
               "user to access the device over USB, reconnect the cable, then try again.\n";
        QTest::newRow("any other state") << QByteArray("R58M123\trecovery")
                                         << "Device R58M123 is recovery and cannot be used now.\n";
        QTest::newRow("a serial with controls is shown harmless")
            << QByteArray("E\x1b[31mE\x07\toffline")
            << QString("Device E\u241b[31mE\u2407 is offline: disconnect the USB cable and "
                       "reconnect it, then try again.\n");
    }
    void adviceComesFromTheSameReading() {
        QFETCH(QByteArray, line);
        QFETCH(QString, advice);
        const QList<ListedDevice> devices = parseDeviceListing(line);
        QCOMPARE(devices.size(), 1);
        QCOMPARE(unusableDeviceAdvice(devices.first()), advice);
    }

    void visibleTextShowsControlsAsSymbols_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain") << "R58M123 (2)\tok\r\n"
                               << "R58M123 (2)\tok\r\n";
        QTest::newRow("ESC and BEL") << QString("a\x1b[2Jb\x07") << QString("a\u241b[2Jb\u2407");
        QTest::newRow("NUL and DEL") << QString(QChar(0)) + "x\x7f" << QString("\u2400x\u2421");
        QTest::newRow("lone CR") << "abc\rdef" << QString("abc\u240ddef");
        QTest::newRow("C1 CSI") << QString("a") + QChar(0x9b) + "31m"
                                << "a<U+009B>31m";
        QTest::newRow("bidi override")
            << QString("a") + QChar(0x202e) + "b" + QChar(0x2066) << "a<U+202E>b<U+2066>";
    }
    void visibleTextShowsControlsAsSymbols() {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(visibleText(text), shown);
    }
};

QTEST_GUILESS_MAIN(DeviceListingTest)
#include "test_device_listing.moc"
