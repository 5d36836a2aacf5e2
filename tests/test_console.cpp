// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/process/ProcessRunner.h"
#include "gui/LinkField.h"
#include "support/ControllerFixture.h"

#include <QAccessible>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTimer>

using namespace ostrel;
using namespace ostrel::test;

namespace {

QTextCharFormat formatAt(QTextBrowser* view, int position) {
    QTextCursor cursor(view->document());
    cursor.setPosition(position + 1); // the format of the character before the cursor
    return cursor.charFormat();
}

bool anyAnchor(QTextBrowser* view) {
    for (int i = 0; i < view->document()->characterCount() - 1; ++i) {
        if (formatAt(view, i).isAnchor())
            return true;
    }
    return false;
}

// What a session of its own says in Start's flow when adb answers as the
// stand-in at `adbPath` does: all the window's console must come to show.
QString saidByStart(const QString& adbPath) {
    ProcessRunner runner;
    MemorySettings settings;
    BridgeSession session(runner, settings, adbAt(adbPath), SessionEnvironment{}, fastWaits());
    SessionRecorder seen(session);
    QCoro::waitFor(session.startServer());
    return seen.console;
}

} // namespace

class ConsoleTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ControllerFixture> f;
    QTextBrowser* view() { return f->window->ui.textView; }

private Q_SLOTS:
    void init() {
        f = std::make_unique<ControllerFixture>(fastWaits(), QUrl("http://127.0.0.1:9"), false);
    }
    void cleanup() { f.reset(); }

    void markupStaysLiteral() {
        const QString html = QStringLiteral("<a href=\"x\">y</a> &amp; <b>bold</b>\r\n");
        f->controller->appendStringToTextView(html);
        QCOMPARE(f->consoleText(), QStringLiteral("<a href=\"x\">y</a> &amp; <b>bold</b>\n"));
        QVERIFY(!anyAnchor(view()));
    }

    void eachLineEndIsOneBreak() {
        f->controller->appendStringToTextView(QStringLiteral("a\r\nb\nc\rd"));
        QCOMPARE(f->consoleText(), QStringLiteral("a\nb\nc\nd"));
        QCOMPARE(view()->document()->blockCount(), 4);
    }

    void emptyAppendChangesNothing() {
        f->controller->appendStringToTextView(QStringLiteral("x"));
        f->controller->appendStringToTextView(QString());
        QCOMPARE(f->consoleText(), QStringLiteral("x"));
    }

    void linkIsClosedByNormalLineEnd() {
        f->controller->appendStringToTextView(QStringLiteral("    "));
        f->controller->setHyperlinkWithTextView(view(),
                                                QStringLiteral("vnc://localhost:5901\r\n\r\n"),
                                                QStringLiteral("vnc://localhost:5901"));
        f->controller->appendStringToTextView(QStringLiteral("after"));
        QCOMPARE(f->consoleText(), QStringLiteral("    vnc://localhost:5901\n\n\nafter"));

        const QTextCharFormat link = formatAt(view(), 4);
        QVERIFY(link.isAnchor());
        QCOMPARE(link.anchorHref(), QStringLiteral("vnc://localhost:5901"));
        QCOMPARE(link.foreground().color(), QColor(Qt::blue));
        QVERIFY(link.fontUnderline());

        const QTextCharFormat after = formatAt(view(), f->consoleText().indexOf("after"));
        QVERIFY(!after.isAnchor());
        QCOMPARE(after.foreground().color(), QColor(Qt::black));
        QVERIFY(!after.fontUnderline());
        QVERIFY(!formatAt(view(), 0).isAnchor());
    }

    void clickingALinkOpensItAndKeepsTheConsole() {
        f->controller->setHyperlinkWithTextView(view(), QStringLiteral("vnc://localhost:5901"),
                                                QStringLiteral("vnc://localhost:5901"));
        const QString before = f->consoleText();
        QTextCursor cursor(view()->document());
        cursor.setPosition(3);
        const QPoint onLink = view()->cursorRect(cursor).center();
        QTest::mouseClick(view()->viewport(), Qt::LeftButton, {}, onLink);
        QCOMPARE(f->desktop.openedUrls, QList<QUrl>{QUrl("vnc://localhost:5901")});
        QCOMPARE(f->consoleText(), before);
    }

    void startOfLongAppendIsInView() {
        for (int i = 0; i < 50; ++i)
            f->controller->appendStringToTextView(QStringLiteral("filler\r\n"));
        const int start = view()->document()->characterCount() - 1;
        QString longText;
        for (int i = 0; i < 300; ++i)
            longText += QStringLiteral("appended %1\r\n").arg(i);
        f->controller->appendStringToTextView(longText);
        QTextCursor cursor(view()->document());
        cursor.setPosition(start);
        QVERIFY(view()->viewport()->rect().intersects(view()->cursorRect(cursor)));
        QVERIFY(view()->verticalScrollBar()->value() < view()->verticalScrollBar()->maximum());
    }

    // Flows write while the user may be copying what an earlier one said.
    void selectionAndViewSurviveAnAppend() {
        for (int i = 0; i < 50; ++i)
            f->controller->appendStringToTextView(QStringLiteral("filler %1\r\n").arg(i));
        QTextCursor selection(view()->document());
        selection.setPosition(7);
        selection.setPosition(40, QTextCursor::KeepAnchor);
        view()->setTextCursor(selection);
        const QString selected = view()->textCursor().selectedText();
        // The user reads on further down, the selection still held.
        QScrollBar* bar = view()->verticalScrollBar();
        bar->setValue(bar->maximum() / 2);
        const int scrolled = bar->value();

        f->controller->appendStringToTextView(QStringLiteral("more\r\n").repeated(100));

        QCOMPARE(view()->textCursor().selectionStart(), 7);
        QCOMPARE(view()->textCursor().selectionEnd(), 40);
        QCOMPARE(view()->textCursor().selectedText(), selected);
        QCOMPARE(bar->value(), scrolled);
    }

    void clearThenAppendStartsAtTop() {
        f->controller->appendStringToTextView(QStringLiteral("old\r\n"));
        f->controller->onClearButtonClicked();
        QCOMPARE(f->consoleText(), QString());
        f->controller->appendStringToTextView(QStringLiteral("new"));
        QCOMPARE(f->consoleText(), QStringLiteral("new"));
    }

    // Whatever adb prints, the window goes on answering while it shows it,
    // shows all of it in order, and a screen reader gets all of it too.
    void hostileOutputKeepsTheWindowAnswering_data() {
        QTest::addColumn<QByteArray>("output");
        QByteArray manyLines;
        for (int i = 0; i < 100000; ++i)
            manyLines += "line " + QByteArray::number(i) + "\n";
        QTest::newRow("1 MiB in one line") << QByteArray(1 << 20, 'x') + "\n";
        QTest::newRow("100 000 lines") << manyLines;
        QTest::newRow("NUL") << QByteArray("before\0after\n", 13);
    }

    void hostileOutputKeepsTheWindowAnswering() {
        QFETCH(QByteArray, output);
        StandInAdb adb(f->directory.filePath("adb-bin"));
        adb.setStandardOutput(output);
        f->chooseAdb(adb.path());
        const QString said = saidByStart(adb.path());
        QElapsedTimer clock;
        clock.start();
        qint64 lastTick = 0;
        qint64 longestGap = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&] {
            longestGap = std::max(longestGap, clock.elapsed() - lastTick);
            lastTick = clock.elapsed();
        });
        ticker.start(50);

        QTest::mouseClick(f->window->ui.startButton, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(f->consoleText(), said, 20000);
        QVERIFY2(longestGap < 2000, qPrintable(QString::number(longestGap)));
        QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(view());
        QVERIFY(reader && reader->textInterface());
        const QString read =
            reader->textInterface()->text(0, reader->textInterface()->characterCount());
        QVERIFY(!read.contains(QChar(0)));
        QCOMPARE(read, f->consoleText());
    }

    void clearDropsWhatWasStillToBeShown() {
        f->controller->appendStringToTextView(QStringLiteral("old\r\n").repeated(100000));
        f->controller->onClearButtonClicked();
        f->controller->appendStringToTextView(QStringLiteral("new\r\n"));
        QTest::qWait(200);
        QCOMPARE(f->consoleText(), QStringLiteral("new\n"));
    }

    void storeLinkFieldHoldsOneLink() {
        QLabel* field = f->window->ui.getTheApp;
        setHyperlinkWithTextField(field, f->controller->siteUrl(), f->desktop);
        setHyperlinkWithTextField(field, f->controller->siteUrl(), f->desktop);
        QCOMPARE(field->text().count(QStringLiteral("<a ")), 1);
        QVERIFY(field->text().contains(
            QStringLiteral("http://127.0.0.1:9/vncserver/android/googleplay.html")));
        Q_EMIT field->linkActivated(
            QStringLiteral("http://127.0.0.1:9/vncserver/android/googleplay.html"));
        QCOMPARE(f->desktop.openedUrls.size(), 1); // one connection, not two
    }

    void updateLinkOnlyForWebAddresses_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("clickable");
        QTest::newRow("https") << "https://www.example.org/dl/app-1.1.dmg" << true;
        QTest::newRow("http") << "http://www.example.org/dl" << true;
        QTest::newRow("file") << "file:///etc/passwd" << false;
        QTest::newRow("javascript") << "javascript:alert(1)" << false;
        QTest::newRow("markup") << "<b>x</b>" << false;
    }

    void updateLinkOnlyForWebAddresses() {
        QFETCH(QString, url);
        QFETCH(bool, clickable);
        QLabel field;
        setUpdateHyperlinkWithTextField(&field, url, f->desktop);
        QCOMPARE(field.textFormat() == Qt::RichText, clickable);
        if (!clickable)
            QCOMPARE(field.text(), url);
    }
};

QTEST_MAIN(ConsoleTest)
#include "test_console.moc"
