// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/server/AdbWireFormat.h"
#include "core/server/DeviceTrackReader.h"

#include <QTest>

using namespace ostrel;

namespace {

// One listing as "SERIAL=STATE" words joined by commas; listings joined by "|".
QString described(const QList<QList<ListedDevice>>& listings) {
    QStringList parts;
    for (const QList<ListedDevice>& listing : listings) {
        QStringList devices;
        for (const ListedDevice& device : listing)
            devices << device.serial + u'=' + device.state;
        parts << devices.join(u',');
    }
    return parts.join(u'|');
}

QString described(DeviceTrackReader::Status status) {
    switch (status) {
    case DeviceTrackReader::Status::Pending:
        return QStringLiteral("pending");
    case DeviceTrackReader::Status::Accepted:
        return QStringLiteral("accepted");
    case DeviceTrackReader::Status::Refused:
        return QStringLiteral("refused");
    case DeviceTrackReader::Status::Broken:
        return QStringLiteral("broken");
    }
    return {};
}

QByteArray frame(const QByteArray& payload) {
    return QByteArray::number(payload.size(), 16).rightJustified(4, '0') + payload;
}

const QByteArray TwoPhones = "R58M123\tdevice\nadb-14141FDF600081-QXjCrW (2)._adb-tls-connect._tcp"
                             "\tunauthorized\n";

} // namespace

class AdbServerFramesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void requestsAreFramedAsAdbReadsThem() {
        QCOMPARE(adbServiceRequest("host:track-devices"), QByteArray("0012host:track-devices"));
        QCOMPARE(adbServiceRequest("host:devices-l"), QByteArray("000ehost:devices-l"));
        QCOMPARE(adbServiceRequest(QByteArray(0x10000, 'x')), std::nullopt);
    }

    // Every stream is also fed byte by byte and cut in two at every place:
    // what a connection delivers in one read is never what the server wrote
    // in one go.
    void readsListingsHoweverTheBytesArrive_data() {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QString>("listings");
        QTest::addColumn<QString>("status");
        QTest::newRow("first list, then changes, several in one read")
            << "OKAY" + frame("R58M123\toffline\n") + frame(TwoPhones) + frame("")
            << "R58M123=offline|R58M123=device,adb-14141FDF600081-QXjCrW (2)._adb-tls-connect."
               "_tcp=unauthorized|"
            << "accepted";
        QTest::newRow("0000 is an empty list") << QByteArray("OKAY0000") << ""
                                               << "accepted";
        QTest::newRow("upper-case hex")
            << QByteArray("OKAY001A0123456789ABCDEF01\tdevice\n") << "0123456789ABCDEF01=device"
            << "accepted";
        QTest::newRow("lower-case hex")
            << QByteArray("OKAY001a0123456789ABCDEF01\tdevice\n") << "0123456789ABCDEF01=device"
            << "accepted";
        QTest::newRow("OKAY and no list yet") << QByteArray("OKAY") << ""
                                              << "accepted";
        QTest::newRow("FAIL with its message") << QByteArray("FAIL0014unknown host service") << ""
                                               << "refused";
        QTest::newRow("bytes after FAIL are not read")
            << QByteArray("FAIL0003nay") + frame("R1\tdevice\n") << ""
            << "refused";
        QTest::newRow("a list before a bad length is kept")
            << "OKAY" + frame("R1\tdevice\n") + "00g1R2\tdevice\n"
            << "R1=device"
            << "broken";
        QTest::newRow("neither OKAY nor FAIL") << QByteArray("HTTP/1.1 400 Bad Request\r\n") << ""
                                               << "broken";
        for (const char* length : {"00 9", "+009", "0x09", "-009", "zzzz"})
            QTest::addRow("length \"%s\"", length) << QByteArray("OKAY") + length + "R1\tdevice"
                                                   << ""
                                                   << "broken";
    }
    void readsListingsHoweverTheBytesArrive() {
        QFETCH(QByteArray, stream);
        QFETCH(QString, listings);
        QFETCH(QString, status);
        DeviceTrackReader whole;
        QCOMPARE(described(whole.feed(stream)), listings);
        QCOMPARE(described(whole.status()), status);

        DeviceTrackReader byteByByte;
        QList<QList<ListedDevice>> found;
        for (char byte : stream)
            found += byteByByte.feed(QByteArrayView(&byte, 1));
        QCOMPARE(described(found), listings);
        QCOMPARE(described(byteByByte.status()), status);

        for (qsizetype cut = 1; cut < stream.size(); ++cut) {
            DeviceTrackReader inTwo;
            QList<QList<ListedDevice>> twoReads = inTwo.feed(QByteArrayView(stream).first(cut));
            twoReads += inTwo.feed(QByteArrayView(stream).sliced(cut));
            QVERIFY2(described(twoReads) == listings, qPrintable(QString::number(cut)));
            QCOMPARE(described(inTwo.status()), status);
        }
    }

    void refusalAndErrorsAreTold() {
        DeviceTrackReader refused;
        refused.feed("FAIL0014unknown host service");
        QCOMPARE(refused.problem(), QStringLiteral("unknown host service"));
        DeviceTrackReader badLength;
        badLength.feed("OKAYzzzz");
        QVERIFY(badLength.problem().contains(QStringLiteral("four hex digits")));
    }

    // Where the server stops decides whether the stream broke: between whole
    // lists it simply went away.
    void streamEnds_data() {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QString>("status");
        QTest::newRow("between lists") << "OKAY" + frame("R1\tdevice\n") + "0000"
                                       << "accepted";
        QTest::newRow("inside a list") << QByteArray("OKAY0010R1\tdev") << "broken";
        QTest::newRow("inside a length") << QByteArray("OKAY00") << "broken";
        QTest::newRow("before any reply") << QByteArray() << "broken";
        QTest::newRow("inside the status word") << QByteArray("OK") << "broken";
        QTest::newRow("inside a FAIL message") << QByteArray("FAIL0014unknown") << "broken";
        QTest::newRow("after a whole FAIL") << QByteArray("FAIL0003nay") << "refused";
    }
    void streamEnds() {
        QFETCH(QByteArray, stream);
        QFETCH(QString, status);
        DeviceTrackReader reader;
        reader.feed(stream);
        reader.endOfStream();
        QCOMPARE(described(reader.status()), status);
    }
};

QTEST_GUILESS_MAIN(AdbServerFramesTest)
#include "test_adb_server_frames.moc"
