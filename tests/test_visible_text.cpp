// SPDX-License-Identifier: GPL-3.0-or-later
// Outside text as every part of the program shows it: nothing in it can ring,
// move a cursor, reorder what follows or end a line early.
#include "core/text/VisibleText.h"

#include <QTest>

using namespace ostrel;

class VisibleTextTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void controlsAndMarksShowAsSymbols_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");

        QTest::newRow("plain text stays") << QStringLiteral("a b\t\u00e9\U0001F600\r\n")
                                          << QStringLiteral("a b\t\u00e9\U0001F600\r\n");
        QTest::newRow("C0 controls") << QStringLiteral("\u001B[2J\u0007\u0000\u007F")
                                     << QStringLiteral("\u241B[2J\u2407\u2400\u2421");
        QTest::newRow("C1 control") << QStringLiteral("a\u009Bb") << QStringLiteral("a<U+009B>b");
        // "dl/<RLO>gnp.exe" would otherwise read "dl/exe.png".
        QTest::newRow("override") << QStringLiteral("dl/\u202Egnp.exe")
                                  << QStringLiteral("dl/<U+202E>gnp.exe");
        QTest::newRow("embeddings and overrides")
            << QStringLiteral("\u202A\u202B\u202C\u202D") << "<U+202A><U+202B><U+202C><U+202D>";
        QTest::newRow("isolates") << QStringLiteral("\u2066\u2067\u2068\u2069")
                                  << "<U+2066><U+2067><U+2068><U+2069>";
        QTest::newRow("marks") << QStringLiteral("a\u200Eb\u200Fc\u061Cd")
                               << "a<U+200E>b<U+200F>c<U+061C>d";
        // A text view breaks the line at these, as at a line end.
        QTest::newRow("line and paragraph separators")
            << QStringLiteral("a\u2028b\u2029c") << "a<U+2028>b<U+2029>c";
        QTest::newRow("neighbours stay") << QStringLiteral("\u061B\u061D\u200D\u2027\u202F\u2065")
                                         << QStringLiteral("\u061B\u061D\u200D\u2027\u202F\u2065");
    }

    void controlsAndMarksShowAsSymbols() {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(visibleText(text), shown);
        QCOMPARE(needsVisibleText(text), shown != text);
        QCOMPARE(visibleText(shown), shown); // showing twice changes nothing
    }
};

QTEST_GUILESS_MAIN(VisibleTextTest)
#include "test_visible_text.moc"
