#include "core/device/PortText.h"

#include <QTest>

using namespace ostrel;

class PortTextTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readsTheLeadingInteger_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("port");
        QTest::newRow("default") << "5901" << 5901;
        QTest::newRow("digits then letters") << "5902abc" << 5902;
        QTest::newRow("leading white space") << " \t5903" << 5903;
        QTest::newRow("explicit plus") << "+5904" << 5904;
        QTest::newRow("negative") << "-12" << -12;
        QTest::newRow("no digits") << "vnc" << 0;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("sign alone") << "-x" << 0;
        QTest::newRow("space inside the number ends it") << "59 01" << 59;
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("non-ASCII digits are not digits") << QString::fromUtf8("\u0665\u0669") << 0;
        QTest::newRow("low 32 bits of a larger number") << "4294967297" << 1;
        QTest::newRow("above the 64-bit range saturates") << "99999999999999999999999" << -1;
        QTest::newRow("below the 64-bit range saturates") << "-99999999999999999999999" << 0;
    }
    void readsTheLeadingInteger() {
        QFETCH(QString, text);
        QFETCH(int, port);
        QCOMPARE(portFromText(text), port);
    }
};

QTEST_GUILESS_MAIN(PortTextTest)
#include "test_port_text.moc"
