// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/device/PortText.h"

#include <QTest>

using namespace ostrel;

class PortTextTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The one rule of the window and the command line: digits alone, less
    // surrounding white space, from 1 to 65535. A text that merely starts
    // with a port is no port.
    void readsAPortOrNone_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("port"); // 0: no port
        QTest::newRow("default") << "5901" << 5901;
        QTest::newRow("surrounding white space") << " 5901 " << 5901;
        QTest::newRow("tabs and line end around") << "\t5901\r\n" << 5901;
        QTest::newRow("leading zero") << "05901" << 5901;
        QTest::newRow("many leading zeros") << "0000000000005901" << 5901;
        QTest::newRow("lowest") << "1" << 1;
        QTest::newRow("highest") << "65535" << 65535;
        QTest::newRow("space inside") << "69 50" << 0;
        QTest::newRow("tab inside") << "69\t50" << 0;
        QTest::newRow("control character inside") << QStringLiteral("69\u000150") << 0;
        QTest::newRow("Arabic-Indic nine") << QStringLiteral("6\u06F950") << 0;
        QTest::newRow("Arabic-Indic digits alone") << QStringLiteral("\u0665\u0669") << 0;
        QTest::newRow("full-width digits") << QStringLiteral("\uFF15\uFF19\uFF10\uFF11") << 0;
        QTest::newRow("digits then a letter") << "5901x" << 0;
        QTest::newRow("letters") << "vnc" << 0;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("white space alone") << " \t" << 0;
        QTest::newRow("plus sign") << "+5901" << 0;
        QTest::newRow("minus sign") << "-5" << 0;
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("one above the range") << "65536" << 0;
        // Read in 16 or 32 bits these would come round to port 1.
        QTest::newRow("wraps 16 bits") << "65537" << 0;
        QTest::newRow("wraps 32 bits") << "4294967297" << 0;
        QTest::newRow("beyond 64 bits") << "99999999999999999999999" << 0;
    }
    void readsAPortOrNone() {
        QFETCH(QString, text);
        QFETCH(int, port);
        const std::optional<TcpPort> read = portNumber(text);
        QCOMPARE(read ? read->number() : 0, port);
    }

    // The prompt's verdict: a blank entry asks for nothing, as Cancel does;
    // everything else is a port by the rule above, or no port.
    void judgesTheEntry_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("port");
        const int blank = int(PortEntry::Kind::Blank);
        const int port = int(PortEntry::Kind::Port);
        const int notAPort = int(PortEntry::Kind::NotAPort);
        QTest::newRow("default") << "5901" << port << 5901;
        QTest::newRow("surrounding white space") << " 5901 " << port << 5901;
        QTest::newRow("empty") << "" << blank << 0;
        QTest::newRow("white space alone") << " \t" << blank << 0;
        QTest::newRow("digits then letters") << " 5901abc" << notAPort << 0;
        QTest::newRow("space inside") << "69 50" << notAPort << 0;
        QTest::newRow("zero") << "0" << notAPort << 0;
    }
    void judgesTheEntry() {
        QFETCH(QString, text);
        QFETCH(int, kind);
        QFETCH(int, port);
        const PortEntry entry = readPortEntry(text);
        QCOMPARE(int(entry.kind), kind);
        QCOMPARE(entry.port ? entry.port->number() : 0, port);
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
