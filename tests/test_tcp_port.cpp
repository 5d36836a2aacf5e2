// SPDX-License-Identifier: GPL-3.0-or-later
// The steps from one port to another: the web port below a VNC port and the
// next pair upward. Neither may come round to a port at the other end of the
// range, as 16-bit arithmetic would.
#include "core/device/TcpPort.h"
#include "support/TestPorts.h"

#include <QTest>

using namespace ostrel;
using namespace ostrel::test;

class TcpPortTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void stepsStayInRange_data() {
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("web");   // 0: none
        QTest::addColumn<int>("above"); // 0: none
        QTest::newRow("default") << 5901 << 5801 << 5902;
        QTest::newRow("lowest web port") << 101 << 1 << 102;
        QTest::newRow("web port would be 0") << 100 << 0 << 101;
        QTest::newRow("lowest") << 1 << 0 << 2;
        QTest::newRow("one below the highest") << 65534 << 65434 << 65535;
        QTest::newRow("highest") << 65535 << 65435 << 0;
    }
    void stepsStayInRange() {
        QFETCH(int, port);
        QFETCH(int, web);
        QFETCH(int, above);
        const TcpPort given = portOf(port);
        QCOMPARE(given.webPort(), web ? std::optional(portOf(web)) : std::nullopt);
        QCOMPARE(given.next(), above ? std::optional(portOf(above)) : std::nullopt);
    }

    // The one name adb knows a TCP socket by, local or on the phone.
    void namesTheSocketForAdb_data() {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("name");
        QTest::newRow("lowest") << 1 << "tcp:1";
        QTest::newRow("default") << 5901 << "tcp:5901";
        QTest::newRow("highest") << 65535 << "tcp:65535";
    }
    void namesTheSocketForAdb() {
        QFETCH(int, port);
        QFETCH(QString, name);
        QCOMPARE(adbSocketName(portOf(port)), name);
    }
};

QTEST_GUILESS_MAIN(TcpPortTest)
#include "test_tcp_port.moc"
