#include "core/bridge/OutputClassifier.h"

#include <QTest>

#include <cstring>

using namespace ostrel;

namespace {

struct Classified {
    BridgeState state;
    QStringList items;
};

Classified classify(BridgeState state, const QList<QByteArray>& lines) {
    Classified result{state, {}};
    for (QByteArray line : lines) {
        line.append('\0');
        classifyOutputLine(result.state, line.data(),
                           [&](const char* serial) { result.items << QString::fromUtf8(serial); });
    }
    return result;
}

BridgeState inMode(int32_t mode) {
    BridgeState state;
    state.CommandMode = mode;
    std::strcpy(state.serverPath, "/data/data/com.ostrel.vncserver/files/ostrelvncserver");
    return state;
}

} // namespace

class OutputClassifierTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void deviceLines_data() {
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("items");
        using L = QList<QByteArray>;
        QTest::newRow("header, one device, empty")
            << L{"List of devices attached", "0123ABCD\tdevice", ""} << 1
            << QStringList{"0123ABCD"};
        QTest::newRow("unauthorized and offline not counted")
            << L{"A1\tunauthorized", "B2\toffline"} << 0 << QStringList{};
        // The state is the whole rest of the line: only "device" is usable.
        QTest::newRow("tab then space cut at space")
            << L{"SER\tdevice product:x"} << 0 << QStringList{};
        // The serial runs to the tab, spaces and all.
        QTest::newRow("leading space gives empty item")
            << L{" SER\tdevice"} << 1 << QStringList{" SER"};
        QTest::newRow("wireless serial keeps its spaces")
            << L{"adb-1-Q (2)._adb-tls-connect._tcp\tdevice"} << 1
            << QStringList{"adb-1-Q (2)._adb-tls-connect._tcp"};
        QTest::newRow("two devices in order")
            << L{"emulator-5554\tdevice", "127.0.0.1:5555\tdevice"} << 2
            << QStringList{"emulator-5554", "127.0.0.1:5555"};
        QTest::newRow("daemon start lines ignored")
            << L{"* daemon not running; starting now at tcp:5037", "* daemon started successfully"}
            << 0 << QStringList{};
        // No tab, no device; a CR ends the state, not the serial.
        QTest::newRow("CR kept on the serial when no space or tab")
            << L{"device\r", "SER\tdevice\r"} << 1 << QStringList{"SER"};
    }

    void deviceLines() {
        QFETCH(QList<QByteArray>, lines);
        QFETCH(int, count);
        QFETCH(QStringList, items);
        const Classified result = classify(inMode(Mode::DeviceList), lines);
        QCOMPARE(result.state.deviceCount, count);
        QCOMPARE(result.items, items);
    }

    void processLines_data() {
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<bool>("running");
        QTest::addColumn<int>("pid");
        using L = QList<QByteArray>;
        const QByteArray server = "/data/data/com.ostrel.vncserver/files/ostrelvncserver";
        QTest::newRow("server line with CR")
            << L{"u0_a123   321   1  12345 678 ffffffff 00000000 S " + server + "\r"} << true
            << 321;
        QTest::newRow("app process is not the server")
            << L{"u0_a123   300   1  12345 678 ffffffff 00000000 S com.ostrel.vncserver"} << false
            << 0;
        QTest::newRow("last matching line wins")
            << L{"root 321 1 x ./ostrelvncserver", "root 322 1 x ./ostrelvncserver"} << true << 322;
        QTest::newRow("no number keeps pid, still running")
            << L{"root abc 1 ostrelvncserver"} << true << 0;
        QTest::newRow("number too large is not taken")
            << L{"root 99999999999 1 ostrelvncserver"} << true << 0;
        QTest::newRow("overlong first word is not read")
            << L{QByteArray(5000, 'u') + " 77 ostrelvncserver"} << true << 0;
    }

    void processLines() {
        QFETCH(QList<QByteArray>, lines);
        QFETCH(bool, running);
        QFETCH(int, pid);
        const Classified result = classify(inMode(Mode::ServerProcess), lines);
        QCOMPARE(result.state.serverRunning, running);
        QCOMPARE(result.state.serverPid, pid);
    }

    void fileLines_data() {
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<bool>("found");
        QTest::addColumn<int>("size");
        using L = QList<QByteArray>;
        QTest::newRow("long listing")
            << L{"-rwxr-xr-x u0_a123 u0_a123 512 2024-05-01 12:00 ostrelvncserver"} << true << 512;
        QTest::newRow("missing keeps size")
            << L{"ls: /data/data/com.ostrel.vncserver/files/ostrelvncserver: No such file or "
                 "directory"}
            << false << 77;
        QTest::newRow("empty line clears") << L{""} << false << 0;
        QTest::newRow("unrelated line clears") << L{"total 0"} << false << 0;
        QTest::newRow("last line decides")
            << L{"-rwx u g 420556 d t ostrelvncserver", ""} << false << 0;
        QTest::newRow("overlong owner word: size not read, still found")
            << L{"-rwx " + QByteArray(40, 'o') + " g 512 d t ostrelvncserver"} << true << 77;
        QTest::newRow("negative size is read") << L{"a b c -5 ostrelvncserver"} << true << -5;
    }

    void fileLines() {
        QFETCH(QList<QByteArray>, lines);
        QFETCH(bool, found);
        QFETCH(int, size);
        BridgeState state = inMode(Mode::ServerFile);
        state.serverFileSize = 77;
        const Classified result = classify(state, lines);
        QCOMPARE(result.state.serverFileFound, found);
        QCOMPARE(result.state.serverFileSize, size);
    }

    void forwardLines_data() {
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<bool>("established");
        using L = QList<QByteArray>;
        QTest::newRow("no output") << L{} << true;
        QTest::newRow("one empty line") << L{""} << true;
        QTest::newRow("port number") << L{"5901"} << false;
        QTest::newRow("text then empty") << L{"x", ""} << true;
        QTest::newRow("lone CR is not empty") << L{"\r"} << false;
    }

    void forwardLines() {
        QFETCH(QList<QByteArray>, lines);
        QFETCH(bool, established);
        BridgeState state = inMode(Mode::Forward);
        state.forwardEstablished = true;
        QCOMPARE(classify(state, lines).state.forwardEstablished, established);
    }

    void idleAndQuietChangeNothing() {
        for (int32_t mode : {Mode::Idle, Mode::Quiet, 5, 0}) {
            const QList<QByteArray> lines{"SER\tdevice", "root 1 2 ostrelvncserver", ""};
            const Classified result = classify(inMode(mode), lines);
            QCOMPARE(result.state.deviceCount, 0);
            QVERIFY(!result.state.serverRunning);
            QVERIFY(!result.state.serverFileFound);
            QVERIFY(!result.state.forwardEstablished);
            QVERIFY(result.items.isEmpty());
        }
    }
};

QTEST_APPLESS_MAIN(OutputClassifierTest)
#include "test_output_classifier.moc"
