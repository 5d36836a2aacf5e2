// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/process/OutputLineBuffer.h"

#include <QTest>

#include <string>

using ostrel::OutputLineBuffer;

class LineAssemblyTest : public QObject {
    Q_OBJECT

private:
    static QStringList feed(OutputLineBuffer& buffer, const QList<QByteArray>& pieces) {
        QStringList lines;
        for (const QByteArray& piece : pieces) {
            buffer.assemble(std::string_view(piece.constData(), std::size_t(piece.size())),
                            [&](char* line) { lines << QString::fromLatin1(line); });
        }
        return lines;
    }

private Q_SLOTS:
    void cutsLines_data() {
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QByteArray>("left");

        using L = QList<QByteArray>;
        QTest::newRow("LF") << L{"abc\n"} << QStringList{"abc"} << QByteArray();
        QTest::newRow("lone CR") << L{"abc\r"} << QStringList{"abc"} << QByteArray();
        QTest::newRow("CR LF keeps CR") << L{"abc\r\n"} << QStringList{"abc\r"} << QByteArray();
        QTest::newRow("CR inside, LF ends") << L{"a\rb\n"} << QStringList{"a\rb"} << QByteArray();
        QTest::newRow("LF inside, CR LF ends")
            << L{"a\nb\r\n"} << QStringList{"a\nb", ""} << QByteArray();
        QTest::newRow("two LF") << L{"\n\n"} << QStringList{"", ""} << QByteArray();
        QTest::newRow("CR far behind the first LF")
            << L{"a\nb\nc\r\nd\n"} << QStringList{"a\nb\nc", "", "d"} << QByteArray();
        QTest::newRow("tail joins next piece")
            << L{"abc", "def\n"} << QStringList{"abcdef"} << QByteArray();
        QTest::newRow("tail only") << L{"abc"} << QStringList{} << QByteArray("abc");
        QTest::newRow("CR LF split across pieces")
            << L{"abc\r", "\ndef\n"} << QStringList{"abc", "", "def"} << QByteArray();
        QTest::newRow("NUL ends the piece")
            << L{QByteArray("ab\ncd\0ef\n", 9)} << QStringList{"ab"} << QByteArray("cd");
        QTest::newRow("real device listing")
            << L{"List of devices attached\r\n0123456789ABCDEF\tdevice\r\n\r\n"}
            << QStringList{"List of devices attached\r", "0123456789ABCDEF\tdevice\r", "\r"}
            << QByteArray();
    }

    void cutsLines() {
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(QStringList, lines);
        QFETCH(QByteArray, left);
        OutputLineBuffer buffer;
        QCOMPARE(feed(buffer, pieces), lines);
        QCOMPARE(QByteArray(buffer.pending().data(), qsizetype(buffer.pending().size())), left);
        QCOMPARE(buffer.outputLineFill(), left.size());
    }

    // How a command ends decides what becomes of its unfinished last line, and
    // nothing of it is left for the next command's output.
    void endingACommand_data() {
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<bool>("endedByItself");
        QTest::addColumn<QStringList>("lines");

        using L = QList<QByteArray>;
        const QByteArray cutListing = "List of devices attached\nSERIAL\tdevice";
        QTest::newRow("ended: last line counts")
            << L{cutListing} << true << QStringList{"List of devices attached", "SERIAL\tdevice"};
        QTest::newRow("cut off: last line dropped")
            << L{cutListing} << false << QStringList{"List of devices attached"};
        QTest::newRow("ended after its line end") << L{"a\n"} << true << QStringList{"a"};
        QTest::newRow("nothing printed") << L{} << true << QStringList{};
        QTest::newRow("ended on a full buffer")
            << L{QByteArray(OutputLineBuffer::Capacity, 'x')} << true
            << QStringList{QString(OutputLineBuffer::Capacity, u'x')};
        QTest::newRow("cut off in a line longer than the buffer")
            << L{QByteArray(OutputLineBuffer::Capacity + 10, 'x')} << false
            << QStringList{QString(OutputLineBuffer::Capacity, u'x')};
    }

    void endingACommand() {
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(bool, endedByItself);
        QFETCH(QStringList, lines);
        OutputLineBuffer buffer;
        QStringList seen = feed(buffer, pieces);
        if (endedByItself)
            buffer.flush([&](char* line) { seen << QString::fromLatin1(line); });
        else
            buffer.discard();
        QCOMPARE(seen, lines);
        QCOMPARE(buffer.outputLineFill(), 0);
        QCOMPARE(feed(buffer, {"List of devices attached\nNEXT\tdevice\n"}),
                 (QStringList{"List of devices attached", "NEXT\tdevice"}));
    }

    void textLongerThanBufferKeepsEveryLine() {
        QByteArray text;
        QStringList expected;
        for (int i = 0; i < 3000; ++i) {
            const QByteArray line = "line " + QByteArray::number(i);
            text += line + "\n";
            expected << QString::fromLatin1(line);
        }
        text += "tail";
        OutputLineBuffer buffer;
        QCOMPARE(feed(buffer, {text}), expected);
        QCOMPARE(QByteArray(buffer.pending().data()), QByteArray("tail"));
    }

    void overlongLineIsHandedOnWhole() {
        OutputLineBuffer buffer;
        const QByteArray longLine(OutputLineBuffer::Capacity + 100, 'x');
        const QStringList lines = feed(buffer, {longLine + "\nnext\n"});
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0].size(), OutputLineBuffer::Capacity);
        QCOMPARE(lines[1], QString(100, QLatin1Char('x')));
        QCOMPARE(lines[2], QStringLiteral("next"));
        QCOMPARE(buffer.outputLineFill(), 0);
    }

    void overlongLineAcrossPiecesNeverStalls() {
        OutputLineBuffer buffer;
        QStringList lines;
        const QByteArray chunk(1000, 'y');
        for (int i = 0; i < 20; ++i)
            lines += feed(buffer, {chunk});
        QCOMPARE(lines.size(), 2); // 20000 bytes: two full buffers handed on
        QCOMPARE(buffer.outputLineFill(), 20000 - 2 * OutputLineBuffer::Capacity);
    }
};

QTEST_APPLESS_MAIN(LineAssemblyTest)
#include "test_line_assembly.moc"
