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

    void judgesTheEntry_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("port");
        const int blank = int(PortEntry::Kind::Blank);
        const int port = int(PortEntry::Kind::Port);
        const int notAPort = int(PortEntry::Kind::NotAPort);
        QTest::newRow("default") << "5901" << port << 5901;
        QTest::newRow("digits then letters") << " 5901abc" << port << 5901;
        QTest::newRow("lowest") << "1" << port << 1;
        QTest::newRow("highest") << "65535" << port << 65535;
        QTest::newRow("explicit plus") << "+80" << port << 80;
        QTest::newRow("empty") << "" << blank << 0;
        QTest::newRow("white space alone") << " \t" << blank << 0;
        QTest::newRow("no digits") << "abc" << notAPort << 0;
        QTest::newRow("sign alone") << "-" << notAPort << 0;
        QTest::newRow("zero") << "0" << notAPort << 0;
        QTest::newRow("one above the range") << "65536" << notAPort << 0;
        QTest::newRow("negative") << "-5" << notAPort << 0;
        // Its low 32 bits would read as port 1.
        QTest::newRow("wraps 32 bits") << "4294967297" << notAPort << 0;
        QTest::newRow("wraps 16 bits") << "65537" << notAPort << 0;
        QTest::newRow("above the 64-bit range") << "99999999999999999999999" << notAPort << 0;
    }
    void judgesTheEntry() {
        QFETCH(QString, text);
        QFETCH(int, kind);
        QFETCH(int, port);
        const PortEntry entry = readPortEntry(text);
        QCOMPARE(int(entry.kind), kind);
        QCOMPARE(entry.port, port);
    }

    void turnsAnEntryDownOnOneLine_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("line");
        QTest::newRow("as typed") << "4294967297"
                                  << "Error: \"4294967297\" is not a port number: enter a number "
                                     "from 1 to 65535.\r\n";
        QTest::newRow("placeholders stay text")
            << "%1%2"
            << "Error: \"%1%2\" is not a port number: enter a number from 1 to 65535.\r\n";
        QTest::newRow("control characters replaced")
            << "a\nb\rc"
            << QString::fromUtf8("Error: \"a\uFFFDb\uFFFDc\" is not a port number: "
                                 "enter a number from 1 to 65535.\r\n");
        QTest::newRow("long entry shortened")
            << QString(200, 'x')
            << "Error: \"" + QString(24, 'x') +
                   "...\" is not a port number: enter a number from 1 to 65535.\r\n";
    }
    void turnsAnEntryDownOnOneLine() {
        QFETCH(QString, text);
        QFETCH(QString, line);
        QCOMPARE(notAPortLine(text), line);
    }
};

QTEST_GUILESS_MAIN(PortTextTest)
#include "test_port_text.moc"
