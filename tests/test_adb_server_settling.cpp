// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/server/DeviceListSettler.h"

#include <QTest>

using namespace ostrel;
using std::chrono::milliseconds;

namespace {

constexpr milliseconds Settling{500};

// "A=device,B=offline" as a listing, and back.
QList<ListedDevice> listing(const QString& text) {
    QList<ListedDevice> devices;
    for (const QString& device : text.split(u',', Qt::SkipEmptyParts)) {
        const QStringList parts = device.split(u'=');
        devices.append({parts.at(0), parts.at(1)});
    }
    return devices;
}

QString described(const QList<ListedDevice>& devices) {
    QStringList parts;
    for (const ListedDevice& device : devices)
        parts << device.serial + u'=' + device.state;
    return parts.join(u',');
}

} // namespace

class AdbServerSettlingTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Starting from "A=device" shown, the server's lists arrive at the times
    // given ("TIME:LIST", TIME in ms); then the settler is asked at `settleAt`.
    void showsWhatHasSettled_data() {
        QTest::addColumn<QStringList>("lists");
        QTest::addColumn<int>("settleAt");
        QTest::addColumn<QString>("shown");
        QTest::newRow("a state that reverts in time never shows")
            << QStringList{"0:A=offline", "300:A=device"} << 1000 << "A=device";
        QTest::newRow("a wireless reconnect through two states never shows")
            << QStringList{"0:A=offline", "150:A=authorizing", "450:A=device"} << 1000
            << "A=device";
        QTest::newRow("a change not yet held long enough")
            << QStringList{"0:A=offline"} << 499 << "A=device";
        QTest::newRow("a change held long enough")
            << QStringList{"0:A=offline"} << 500 << "A=offline";
        QTest::newRow("a phone that keeps changing shows where it is")
            << QStringList{"0:A=offline", "200:A=authorizing", "400:A=offline"} << 500
            << "A=offline";
        QTest::newRow("a phone that came and went in time never shows")
            << QStringList{"0:A=device,B=device", "200:A=device"} << 1000 << "A=device";
        QTest::newRow("an arrival in the server's order")
            << QStringList{"0:B=device,A=device"} << 500 << "B=device,A=device";
        QTest::newRow("a departure") << QStringList{"0:"} << 500 << "";
        QTest::newRow("a departure not yet settled keeps its place")
            << QStringList{"0:B=device,A=device", "100:B=device"} << 550 << "B=device,A=device";
        QTest::newRow("a phone that keeps changing holds up no other")
            << QStringList{"0:A=offline",
                           "100:A=authorizing,B=device",
                           "200:A=offline,B=device",
                           "300:A=authorizing,B=device",
                           "400:A=offline,B=device",
                           "500:A=authorizing,B=device",
                           "600:A=device,B=device"}
            << 600 << "A=offline,B=device";
        QTest::newRow("a repeated serial: the first line counts")
            << QStringList{"0:A=device,B=device,B=offline"} << 500 << "A=device,B=device";
    }
    void showsWhatHasSettled() {
        QFETCH(QStringList, lists);
        QFETCH(int, settleAt);
        QFETCH(QString, shown);
        DeviceListSettler settler(Settling);
        settler.showAtOnce(listing("A=device"));
        for (const QString& timed : lists) {
            const qsizetype colon = timed.indexOf(u':');
            const milliseconds at(timed.first(colon).toInt());
            settler.settle(at);
            settler.takeListing(listing(timed.sliced(colon + 1)), at);
        }
        settler.settle(milliseconds(settleAt));
        QCOMPARE(described(settler.shown()), shown);
    }

    // The watch arms its timer from here: it must name the moment a change is
    // due, and nothing once all has settled or reverted.
    void tellsWhenTheNextChangeIsDue() {
        DeviceListSettler settler(Settling);
        settler.showAtOnce(listing("A=device"));
        QCOMPARE(settler.nextSettleTime(), std::nullopt);
        settler.takeListing(listing("A=offline"), milliseconds(100));
        settler.takeListing(listing("A=offline,B=device"), milliseconds(300));
        QCOMPARE(settler.nextSettleTime(), milliseconds(600));
        QVERIFY(settler.settle(milliseconds(600)));
        QCOMPARE(described(settler.shown()), QStringLiteral("A=offline"));
        QCOMPARE(settler.nextSettleTime(), milliseconds(800));
        settler.takeListing(listing("A=offline"), milliseconds(700));
        QCOMPARE(settler.nextSettleTime(), std::nullopt);
    }

    void theFirstListOfAConnectionShowsAtOnce() {
        DeviceListSettler settler(Settling);
        settler.showAtOnce(listing("A=device"));
        settler.takeListing(listing("A=offline"), milliseconds(0));
        settler.showAtOnce(listing("B=device"));
        QCOMPARE(described(settler.shown()), QStringLiteral("B=device"));
        QCOMPARE(settler.nextSettleTime(), std::nullopt);
        QVERIFY(!settler.settle(milliseconds(10000)));
    }
};

QTEST_GUILESS_MAIN(AdbServerSettlingTest)
#include "test_adb_server_settling.moc"
