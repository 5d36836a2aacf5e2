// SPDX-License-Identifier: GPL-3.0-or-later
// A screenshot's file name, folder and file; cut text between the desktop and
// the phone's server, which only carries Latin-1.
#include "gui/viewer/CutText.h"
#include "gui/viewer/ScreenshotFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace ostrel;
using namespace Qt::Literals::StringLiterals;

namespace {

const QDateTime TakenAt(QDate(2026, 12, 11), QTime(9, 5, 7));

QImage picture() {
    QImage image(4, 6, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    image.setPixel(1, 2, qRgb(200, 10, 30));
    return image;
}

} // namespace

class TestScreenshotAndCutText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fileName_data();
    void fileName();
    void folder();
    void savedFileHoldsTheFrameAndNeverOverwrites();
    void unsavableSaysWhy();
    void cutTextToSend_data();
    void cutTextToSend();
    void cutTextReceivedIsLatin1();
};

void TestScreenshotAndCutText::fileName_data() {
    QTest::addColumn<QString>("phone");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << u"Pixel 7 (R58M12345)"_s
                           << u"Pixel 7 (R58M12345) 2026-12-11 09.05.07.png"_s;
    QTest::newRow("separators and reserved characters")
        << u"a/b\\c:d*e?f\"g<h>i|j"_s << u"a_b_c_d_e_f_g_h_i_j 2026-12-11 09.05.07.png"_s;
    QTest::newRow("climbing out of the folder")
        << u"../../.bashrc"_s << u"_.._.bashrc 2026-12-11 09.05.07.png"_s;
    QTest::newRow("hidden or option-like") << u"-.-rf"_s << u"rf 2026-12-11 09.05.07.png"_s;
    QTest::newRow("controls and reordering marks")
        << u"evil\ngpj.\u202eexe\u0000x"_s << u"evil gpj._exe_x 2026-12-11 09.05.07.png"_s;
    QTest::newRow("runs of spaces")
        << u"  My\t\tphone  "_s << u"My phone 2026-12-11 09.05.07.png"_s;
    QTest::newRow("nothing left") << u"..."_s << u"Phone 2026-12-11 09.05.07.png"_s;
    QTest::newRow("empty") << QString() << u"Phone 2026-12-11 09.05.07.png"_s;
    QTest::newRow("other scripts stay") << u"Телефон Ж"_s << u"Телефон Ж 2026-12-11 09.05.07.png"_s;
    QTest::newRow("long, not cut inside a character")
        << QString(79, u'x') + QString::fromUcs4(U"\U0001F600", 1) + u"tail"_s
        << QString(79, u'x') + u" 2026-12-11 09.05.07.png"_s;
}

void TestScreenshotAndCutText::fileName() {
    QFETCH(QString, phone);
    QFETCH(QString, expected);
    QCOMPARE(screenshotFileName(phone, TakenAt), expected);
}

void TestScreenshotAndCutText::folder() {
    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QString pictures = home.filePath(u"Pictures"_s);
    QCOMPARE(screenshotFolder(QString(), home.path()), home.path());
    QCOMPARE(screenshotFolder(pictures, home.path()), home.path());
    QVERIFY(QDir(home.path()).mkdir(u"Pictures"_s));
    QCOMPARE(screenshotFolder(pictures, home.path()), pictures);
}

void TestScreenshotAndCutText::savedFileHoldsTheFrameAndNeverOverwrites() {
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString name = screenshotFileName(u"Pixel"_s, TakenAt);

    const ScreenshotResult first = saveScreenshot(picture(), folder.path(), name);
    const ScreenshotResult second = saveScreenshot(picture(), folder.path(), name);

    QCOMPARE(first.error, QString());
    QCOMPARE(first.path, folder.filePath(name));
    QCOMPARE(second.path, folder.filePath(u"Pixel 2026-12-11 09.05.07 (2).png"_s));
    QCOMPARE(screenshotLine(first),
             u"Screenshot saved as "_s + QDir::toNativeSeparators(first.path));
    for (const ScreenshotResult& saved : {first, second}) {
        QImage read(saved.path, "png");
        QCOMPARE(read.convertToFormat(QImage::Format_RGB32), picture());
    }
}

void TestScreenshotAndCutText::unsavableSaysWhy() {
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString missing = folder.filePath(u"gone\x1b"_s);

    const ScreenshotResult result = saveScreenshot(picture(), missing, u"x.png"_s);
    QVERIFY(!result.error.isEmpty());
    const QString line = screenshotLine(result);
    QVERIFY2(line.startsWith(u"The screenshot could not be saved as "_s) &&
                 line.contains(u"gone\u241b"_s),
             qPrintable(line));
    QVERIFY(!QFile::exists(result.path));

    QVERIFY(!saveScreenshot(QImage(), folder.path(), u"y.png"_s).error.isEmpty());
    QVERIFY(!QFile::exists(folder.filePath(u"y.png"_s)));
}

void TestScreenshotAndCutText::cutTextToSend_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("sent");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("ascii") << u"hello"_s << true << QByteArray("hello");
    QTest::newRow("latin-1 accents") << u"caf\u00e9 \u00ff"_s << true << QByteArray("caf\xe9 \xff");
    QTest::newRow("line ends made bare") << u"a\r\nb\rc\nd"_s << true << QByteArray("a\nb\nc\nd");
    QTest::newRow("empty") << QString() << true << QByteArray();
    QTest::newRow("euro sign") << u"5 \u20ac"_s << false << QByteArray();
    QTest::newRow("one character beyond, among many") << u"abc\u0141def"_s << false << QByteArray();
    QTest::newRow("outside the basic plane")
        << QString::fromUcs4(U"\U0001F600", 1) << false << QByteArray();
}

void TestScreenshotAndCutText::cutTextToSend() {
    QFETCH(QString, text);
    QFETCH(bool, sent);
    QFETCH(QByteArray, bytes);
    const std::optional<QByteArray> result = ostrel::cutTextToSend(text);
    QCOMPARE(result.has_value(), sent);
    if (sent)
        QCOMPARE(*result, bytes);
}

void TestScreenshotAndCutText::cutTextReceivedIsLatin1() {
    QCOMPARE(cutTextReceived(QByteArray("na\xefve\n")), u"na\u00efve\n"_s);
}

QTEST_MAIN(TestScreenshotAndCutText)
#include "test_screenshot_and_cut_text.moc"
