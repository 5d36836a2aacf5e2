// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's input mapping: keys to keysyms, widget points to the server's
// screen, mouse buttons to the pointer mask.
#include "viewer/ButtonMask.h"
#include "viewer/KeySymbol.h"
#include "viewer/ScreenPosition.h"

#include <QtTest>

#include <optional>

class TestViewerInput : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void keySymbol_data();
    void keySymbol();
    void framePosition_data();
    void framePosition();
    void nearestFramePosition_data();
    void nearestFramePosition();
    void fittedViewSize_data();
    void fittedViewSize();
    void pictureKeepsAspect_data();
    void pictureKeepsAspect();
    void buttonMask_data();
    void buttonMask();
    void wheelMask_data();
    void wheelMask();
};

void TestViewerInput::keySymbol_data() {
    QTest::addColumn<int>("qtKey");
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint32>("expected");

    QTest::newRow("letter") << int(Qt::Key_A) << "a" << quint32('a');
    QTest::newRow("shifted letter") << int(Qt::Key_A) << "A" << quint32('A');
    QTest::newRow("digit") << int(Qt::Key_1) << "1" << quint32('1');
    QTest::newRow("space") << int(Qt::Key_Space) << " " << quint32(0x20);
    QTest::newRow("latin-1 e acute")
        << int(Qt::Key_Eacute) << QStringLiteral("\u00e9") << quint32(0xe9);
    QTest::newRow("latin-1 y diaeresis") << 0 << QStringLiteral("\u00ff") << quint32(0xff);
    QTest::newRow("beyond latin-1: euro") << 0 << QStringLiteral("\u20ac") << quint32(0x010020ac);
    QTest::newRow("cyrillic") << 0 << QStringLiteral("\u0436") << quint32(0x01000436);
    QTest::newRow("outside the basic plane")
        << 0 << QString::fromUcs4(U"\U0001F600", 1) << quint32(0x0101f600);
    QTest::newRow("return") << int(Qt::Key_Return) << "\r" << quint32(0xff0d);
    QTest::newRow("keypad enter") << int(Qt::Key_Enter) << "\r" << quint32(0xff0d);
    QTest::newRow("backspace") << int(Qt::Key_Backspace) << "\b" << quint32(0xff08);
    QTest::newRow("tab") << int(Qt::Key_Tab) << "\t" << quint32(0xff09);
    QTest::newRow("escape") << int(Qt::Key_Escape) << "\x1b" << quint32(0xff1b);
    QTest::newRow("left") << int(Qt::Key_Left) << "" << quint32(0xff51);
    QTest::newRow("up") << int(Qt::Key_Up) << "" << quint32(0xff52);
    QTest::newRow("right") << int(Qt::Key_Right) << "" << quint32(0xff53);
    QTest::newRow("down") << int(Qt::Key_Down) << "" << quint32(0xff54);
    QTest::newRow("lone modifier") << int(Qt::Key_Shift) << "" << quint32(0);
    QTest::newRow("control character") << int(Qt::Key_C) << "\x03" << quint32(0);
    QTest::newRow("delete character as text") << 0 << "\x7f" << quint32(0);
    QTest::newRow("two characters at once") << 0 << "ab" << quint32(0);
}

void TestViewerInput::keySymbol() {
    QFETCH(int, qtKey);
    QFETCH(QString, text);
    QFETCH(quint32, expected);
    QCOMPARE(keySymbolFor(qtKey, text), expected);
}

using OptionalPoint = std::optional<QPoint>;

void TestViewerInput::framePosition_data() {
    QTest::addColumn<QPointF>("widgetPosition");
    QTest::addColumn<QSize>("widgetSize");
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<QSize>("frame");
    QTest::addColumn<bool>("inside");
    QTest::addColumn<QPoint>("expected");

    const QSize phone(1080, 2400);
    // 540x1200 fits a 600x1200 widget exactly in height: 30 px margins beside.
    QTest::newRow("top left of the picture")
        << QPointF(30, 0) << QSize(600, 1200) << 1.0 << phone << true << QPoint(0, 0);
    QTest::newRow("centre") << QPointF(300, 600) << QSize(600, 1200) << 1.0 << phone << true
                            << QPoint(540, 1200);
    QTest::newRow("last pixel") << QPointF(569.9, 1199.9) << QSize(600, 1200) << 1.0 << phone
                                << true << QPoint(1079, 2399);
    QTest::newRow("left margin") << QPointF(29.5, 600) << QSize(600, 1200) << 1.0 << phone << false
                                 << QPoint();
    QTest::newRow("right margin") << QPointF(570, 600) << QSize(600, 1200) << 1.0 << phone << false
                                  << QPoint();
    // A wide window: margins above and below instead.
    QTest::newRow("top margin of a wide window")
        << QPointF(500, 10) << QSize(1000, 100) << 1.0 << QSize(400, 20) << false << QPoint();
    QTest::newRow("wide window, inside")
        << QPointF(500, 50) << QSize(1000, 100) << 1.0 << QSize(400, 20) << true << QPoint(200, 10);
    QTest::newRow("double density")
        << QPointF(300, 600) << QSize(600, 1200) << 2.0 << phone << true << QPoint(540, 1200);
    QTest::newRow("double density, one logical pixel in")
        << QPointF(31, 1) << QSize(600, 1200) << 2.0 << phone << true << QPoint(2, 2);
    // 1.5: device area 450x900 holds a 405x900 picture at x 22..426.
    QTest::newRow("fractional density, first device pixel")
        << QPointF(22.0 / 1.5, 0) << QSize(300, 600) << 1.5 << phone << true << QPoint(0, 0);
    QTest::newRow("fractional density, just before the picture")
        << QPointF(21.9 / 1.5, 0) << QSize(300, 600) << 1.5 << phone << false << QPoint();
    QTest::newRow("enlarged small screen")
        << QPointF(399, 299) << QSize(400, 300) << 1.0 << QSize(4, 3) << true << QPoint(3, 2);
    QTest::newRow("no frame yet") << QPointF(10, 10) << QSize(400, 300) << 1.0 << QSize() << false
                                  << QPoint();
    QTest::newRow("empty widget") << QPointF(0, 0) << QSize(0, 0) << 1.0 << phone << false
                                  << QPoint();
}

void TestViewerInput::framePosition() {
    QFETCH(QPointF, widgetPosition);
    QFETCH(QSize, widgetSize);
    QFETCH(qreal, ratio);
    QFETCH(QSize, frame);
    QFETCH(bool, inside);
    QFETCH(QPoint, expected);
    const OptionalPoint position = framePositionFor(widgetPosition, widgetSize, ratio, frame);
    QCOMPARE(position.has_value(), inside);
    if (inside)
        QCOMPARE(*position, expected);
}

void TestViewerInput::nearestFramePosition_data() {
    QTest::addColumn<QPointF>("widgetPosition");
    QTest::addColumn<QSize>("widgetSize");
    QTest::addColumn<QSize>("frame");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QPoint>("expected");

    const QSize phone(1080, 2400);
    // The picture spans x 30..570 of a 600x1200 widget, as above.
    QTest::newRow("on the picture")
        << QPointF(300, 600) << QSize(600, 1200) << phone << true << QPoint(540, 1200);
    QTest::newRow("left margin: the left edge")
        << QPointF(5, 600) << QSize(600, 1200) << phone << true << QPoint(0, 1200);
    QTest::newRow("beyond the right edge")
        << QPointF(590, 600) << QSize(600, 1200) << phone << true << QPoint(1079, 1200);
    QTest::newRow("outside the widget, above and left")
        << QPointF(-50, -50) << QSize(600, 1200) << phone << true << QPoint(0, 0);
    QTest::newRow("outside the widget, below")
        << QPointF(300, 5000) << QSize(600, 1200) << phone << true << QPoint(540, 2399);
    QTest::newRow("no frame") << QPointF(300, 600) << QSize(600, 1200) << QSize() << false
                              << QPoint();
}

void TestViewerInput::nearestFramePosition() {
    QFETCH(QPointF, widgetPosition);
    QFETCH(QSize, widgetSize);
    QFETCH(QSize, frame);
    QFETCH(bool, found);
    QFETCH(QPoint, expected);
    const OptionalPoint position = nearestFramePositionFor(widgetPosition, widgetSize, 1.0, frame);
    QCOMPARE(position.has_value(), found);
    if (found)
        QCOMPARE(*position, expected);
}

void TestViewerInput::fittedViewSize_data() {
    QTest::addColumn<QSize>("frame");
    QTest::addColumn<QSize>("available");
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<QSize>("expected");

    QTest::newRow("portrait phone on a landscape desktop")
        << QSize(1080, 2400) << QSize(1800, 960) << 1.0 << QSize(432, 960);
    QTest::newRow("turned phone on a landscape desktop")
        << QSize(2400, 1080) << QSize(1800, 960) << 1.0 << QSize(1800, 810);
    QTest::newRow("fits one to one")
        << QSize(320, 480) << QSize(1800, 960) << 1.0 << QSize(320, 480);
    QTest::newRow("double density: one to one in device pixels")
        << QSize(1080, 2400) << QSize(1800, 1300) << 2.0 << QSize(540, 1200);
    QTest::newRow("no screen yet") << QSize() << QSize(1800, 960) << 1.0 << QSize();
}

void TestViewerInput::fittedViewSize() {
    QFETCH(QSize, frame);
    QFETCH(QSize, available);
    QFETCH(qreal, ratio);
    QFETCH(QSize, expected);
    QCOMPARE(::fittedViewSize(frame, available, ratio), expected);
}

void TestViewerInput::pictureKeepsAspect_data() {
    QTest::addColumn<QSize>("area");
    QTest::addColumn<QSize>("frame");
    QTest::addColumn<QRect>("expected");

    QTest::newRow("portrait in a square")
        << QSize(1000, 1000) << QSize(1080, 2400) << QRect(275, 0, 450, 1000);
    QTest::newRow("landscape in a square")
        << QSize(1000, 1000) << QSize(2400, 1080) << QRect(0, 275, 1000, 450);
    QTest::newRow("exact fit") << QSize(540, 1200) << QSize(1080, 2400) << QRect(0, 0, 540, 1200);
}

void TestViewerInput::pictureKeepsAspect() {
    QFETCH(QSize, area);
    QFETCH(QSize, frame);
    QFETCH(QRect, expected);
    QCOMPARE(pictureRectFor(area, frame), expected);
}

void TestViewerInput::buttonMask_data() {
    QTest::addColumn<Qt::MouseButtons>("buttons");
    QTest::addColumn<int>("expected");

    QTest::newRow("none") << Qt::MouseButtons() << 0;
    QTest::newRow("left") << Qt::MouseButtons(Qt::LeftButton) << 1;
    QTest::newRow("middle") << Qt::MouseButtons(Qt::MiddleButton) << 2;
    QTest::newRow("right") << Qt::MouseButtons(Qt::RightButton) << 4;
    QTest::newRow("left and right") << (Qt::LeftButton | Qt::RightButton) << 5;
    QTest::newRow("back button alone") << Qt::MouseButtons(Qt::BackButton) << 0;
}

void TestViewerInput::buttonMask() {
    QFETCH(Qt::MouseButtons, buttons);
    QFETCH(int, expected);
    QCOMPARE(buttonMaskFor(buttons), expected);
}

void TestViewerInput::wheelMask_data() {
    QTest::addColumn<int>("angleDelta");
    QTest::addColumn<int>("expected");

    QTest::newRow("up") << 120 << 8;
    QTest::newRow("up, fine-grained") << 15 << 8;
    QTest::newRow("down") << -120 << 16;
    QTest::newRow("still") << 0 << 0;
}

void TestViewerInput::wheelMask() {
    QFETCH(int, angleDelta);
    QFETCH(int, expected);
    QCOMPARE(wheelMaskFor(angleDelta), expected);
}

QTEST_GUILESS_MAIN(TestViewerInput)
#include "test_viewer_input.moc"
