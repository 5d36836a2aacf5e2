// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/server/ForwardList.h"
#include "core/server/LongListingModel.h"

#include <QTest>

using namespace ostrel;

namespace {

QStringList described(const QList<ListedForward>& forwards) {
    QStringList lines;
    for (const ListedForward& forward : forwards)
        lines << QStringLiteral("%1|%2|%3")
                     .arg(forward.serial)
                     .arg(forward.localPort.number())
                     .arg(forward.remote);
    return lines;
}

const char WirelessSerial[] = "adb-14141FDF600081-QXjCrW (2)._adb-tls-connect._tcp";
const char NoPermissions[] =
    "0123456789ABCDEF       no permissions (missing udev rules? user is in the plugdev group); "
    "see [http://developer.android.com/tools/device.html] usb:1-1.4 transport_id:2\n";

} // namespace

class AdbServerListingsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Payloads of "host:list-forward" as adb 29 sends them.
    void readsForwardLists_data() {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QStringList>("forwards");
        QTest::newRow("two phones, trailing line end")
            << QByteArray("127.0.0.1:45077 tcp:5901 tcp:5901\n127.0.0.1:45077 tcp:5801 "
                          "tcp:5801\nR58M123 tcp:6000 tcp:5901\n")
            << QStringList{"127.0.0.1:45077|5901|tcp:5901", "127.0.0.1:45077|5801|tcp:5801",
                           "R58M123|6000|tcp:5901"};
        QTest::newRow("serial with spaces")
            << QByteArray(WirelessSerial) + " tcp:5902 tcp:5901\n"
            << QStringList{QString(WirelessSerial) + "|5902|tcp:5901"};
        QTest::newRow("another program's forwards")
            << QByteArray("R58M123 localabstract:devtools tcp:9222\n"
                          "R58M123 tcp:9222 localabstract:debug_socket\n"
                          "R58M123 localfilesystem:/tmp/x tcp:1\n")
            << QStringList{"R58M123|9222|localabstract:debug_socket"};
        QTest::newRow("no forwards") << QByteArray() << QStringList{};
        QTest::newRow("empty lines")
            << QByteArray("\n\nR1 tcp:1 tcp:2\n\n") << QStringList{"R1|1|tcp:2"};
        QTest::newRow("local ports that are no ports")
            << QByteArray("R1 tcp:0 tcp:5901\nR1 tcp:65536 tcp:5901\nR1 tcp:59x1 tcp:5901\n"
                          "R1 tcp: tcp:5901\nR1 tcp:-5 tcp:5901\nR1 tcp:+5901 tcp:5901\n")
            << QStringList{};
        QTest::newRow("lines missing a field")
            << QByteArray("tcp:5901 tcp:5901\nR1 tcp:5901 \n tcp:5901 tcp:5901\nR1\n")
            << QStringList{};
    }
    void readsForwardLists() {
        QFETCH(QByteArray, payload);
        QFETCH(QStringList, forwards);
        QCOMPARE(described(parseForwardList(payload)), forwards);
    }

    // Long lines of "host:devices-l": the serial padded to 22 columns, the
    // state, then fields; adb writes '_' for anything but letters and digits.
    void readsTheModelOfOnePhone_data() {
        QTest::addColumn<QByteArray>("listing");
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QStringList>("knownSerials");
        QTest::addColumn<QString>("model"); // "-" for none
        const QByteArray listing =
            "127.0.0.1:45077        device product:kestrel model:KS_200_x device:kestrel "
            "transport_id:1\n" +
            QByteArray(NoPermissions) +
            "R58M1234               device usb:1-2 product:heron model:HR_9 device:heron "
            "transport_id:3\n"
            "R58M123                device usb:1-3 product:wren model:WR_1 device:wren "
            "transport_id:4\n"
            "R58M12                 unauthorized usb:1-5 transport_id:5\n" +
            QByteArray(WirelessSerial) +
            " device product:kestrel model:KS_300 device:kestrel transport_id:6\n";
        QTest::newRow("simulated phone")
            << listing << "127.0.0.1:45077" << QStringList{} << "KS 200 x";
        QTest::newRow("serial that begins another's")
            << listing << "R58M123" << QStringList{} << "WR 1";
        QTest::newRow("serial that another begins with")
            << listing << "R58M1234" << QStringList{} << "HR 9";
        QTest::newRow("no permissions: no model, and its words are not fields")
            << listing << "0123456789ABCDEF" << QStringList{} << "-";
        QTest::newRow("unauthorized: no model") << listing << "R58M12" << QStringList{} << "-";
        QTest::newRow("serial longer than its column")
            << listing << WirelessSerial << QStringList{} << "KS 300";
        QTest::newRow("not listed") << listing << "R58" << QStringList{} << "-";
        QTest::newRow("empty serial") << listing << "" << QStringList{} << "-";
        QTest::newRow("empty model")
            << QByteArray("R1  device model: device:x\n") << "R1" << QStringList{} << "-";
        QTest::newRow("a spaced serial's line is left to it")
            << QByteArray("A B                    device model:SECOND transport_id:1\n"
                          "A                      device model:FIRST transport_id:2\n")
            << "A" << QStringList{"A B", "A"} << "FIRST";
        QTest::newRow("CR LF") << QByteArray("R1                     device model:KS_1\r\n") << "R1"
                               << QStringList{} << "KS 1";
    }
    void readsTheModelOfOnePhone() {
        QFETCH(QByteArray, listing);
        QFETCH(QString, serial);
        QFETCH(QStringList, knownSerials);
        QFETCH(QString, model);
        QCOMPARE(modelFromLongListing(listing, serial, knownSerials).value_or(QStringLiteral("-")),
                 model);
    }
};

QTEST_GUILESS_MAIN(AdbServerListingsTest)
#include "test_adb_server_listings.moc"
