// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer window through its real widgets and real mouse and key events,
// against a tiny screen server in the test.
#include "gui/viewer/ViewerWindow.h"

#include "support/SilentListener.h"
#include "support/TinyScreenServer.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTimer>
#include <QWheelEvent>
#include <QtTest>

#include <memory>

using namespace ostrel;
using namespace ostrel::test;

namespace {

constexpr int networkWait = 5000;

using PointerEvents = QList<PointerEvent>;
using KeyEvents = QList<QPair<quint32, bool>>;

// The window on a server, shown and with the server's first frame on screen.
struct Viewing {
    explicit Viewing(quint16 port)
        : window(QStringLiteral("Test phone"), QStringLiteral("127.0.0.1"), port),
          shown(&window, &ViewerWindow::screenShown),
          failed(&window, &ViewerWindow::connectionFailed) {
        window.show();
        window.connectToServer();
    }

    QWidget* view() { return window.findChild<QWidget*>(QStringLiteral("screenView")); }
    RfbConnection* connection() { return window.findChild<RfbConnection*>(); }
    QLabel* status() { return window.findChild<QLabel*>(QStringLiteral("viewerStatus")); }
    QLineEdit* password() { return window.findChild<QLineEdit*>(QStringLiteral("viewerPassword")); }

    // The view exactly `size`: the window holds nothing else while it shows a screen.
    bool resizeView(QSize size) {
        window.resize(size);
        return QTest::qWaitFor([&] { return view()->size() == size; }, networkWait);
    }

    ViewerWindow window;
    QSignalSpy shown;
    QSignalSpy failed;
};

// What is on screen: the window's backing store as it stands, not a fresh
// paint, so that a region left unpainted after an update shows.
QImage drawn(QWidget* view) {
    QWidget* window = view->window();
    const QRect area(view->mapTo(window, QPoint(0, 0)), view->size());
    return window->screen()
        ->grabWindow(window->winId(), area.x(), area.y(), area.width(), area.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// The whole picture drawn at once, as a fresh window would show it.
QImage wholeRepaint(const QImage& picture, QWidget* view) {
    const QSize viewSize = view->size();
    QImage expected(viewSize, QImage::Format_RGB32);
    expected.fill(Qt::black);
    QPainter painter(&expected);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QSize scaled = picture.size().scaled(viewSize, Qt::KeepAspectRatio);
    const QPoint corner((viewSize.width() - scaled.width()) / 2,
                        (viewSize.height() - scaled.height()) / 2);
    painter.drawImage(QRect(corner, scaled), picture);
    return expected;
}

bool closeTo(const QImage& a, const QImage& b, int tolerance) {
    if (a.size() != b.size())
        return false;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            if (qAbs(qRed(p) - qRed(q)) > tolerance || qAbs(qGreen(p) - qGreen(q)) > tolerance ||
                qAbs(qBlue(p) - qBlue(q)) > tolerance)
                return false;
        }
    return true;
}

// A smooth picture, so that scaling it changes little: sharp edges would
// make any difference in sampling look like a fault.
QImage gentlePicture(QSize size, int variant) {
    QImage picture(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            picture.setPixel(x, y, qRgb(x * 3 + variant, y * 2, 255 - x - y));
    return picture;
}

} // namespace

class TestViewerWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void pictureIsTheScreens_data();
    void pictureIsTheScreens();
    void touchArrivesAtTheScaledPosition_data();
    void touchArrivesAtTheScaledPosition();
    void wheelScrolls();
    void keysArrive_data();
    void keysArrive();
    void passwordIsAskedFor_data();
    void passwordIsAskedFor();
    void endShowsItsLine_data();
    void endShowsItsLine();
    void closingEndsTheThreadWithinASecond_data();
    void closingEndsTheThreadWithinASecond();
    void windowTakesThePhonesShape();
    void frameCopyHoldsUnderSizeChangesWhilePainting();
    void serversPointerShapeIsShown();
};

void TestViewerWindow::pictureIsTheScreens_data() {
    QTest::addColumn<QSize>("viewSize");
    QTest::addColumn<int>("tolerance");

    QTest::newRow("one to one") << QSize(40, 80) << 0;
    QTest::newRow("enlarged, margins beside") << QSize(120, 160) << 2;
    QTest::newRow("reduced, margins above and below") << QSize(30, 40) << 2;
}

// A part of the screen changes: only it is redrawn, and the picture must be
// what a whole repaint gives.
void TestViewerWindow::pictureIsTheScreens() {
    QFETCH(QSize, viewSize);
    QFETCH(int, tolerance);
    const QImage first = gentlePicture(QSize(40, 80), 0);
    TinyScreenServer server(first);
    Viewing viewing(server.port());
    QVERIFY(viewing.shown.wait(networkWait));
    QVERIFY(viewing.resizeView(viewSize));
    QTRY_VERIFY_WITH_TIMEOUT(
        closeTo(drawn(viewing.view()), wholeRepaint(first, viewing.view()), tolerance),
        networkWait);

    QImage changed = first;
    QPainter(&changed).fillRect(QRect(10, 30, 12, 9), QColor(250, 20, 90));
    server.changePart(changed, QRect(10, 30, 12, 9));
    QTRY_VERIFY_WITH_TIMEOUT(viewing.connection()->image() == changed, networkWait);
    QTRY_VERIFY_WITH_TIMEOUT(
        closeTo(drawn(viewing.view()), wholeRepaint(changed, viewing.view()), tolerance),
        networkWait);
}

void TestViewerWindow::touchArrivesAtTheScaledPosition_data() {
    QTest::addColumn<QSize>("viewSize");
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<QPoint>("moveTo");
    QTest::addColumn<PointerEvents>("expected");

    // The screen is 40x80. In an 80x200 view it is drawn 80x160 from y 20; in
    // a 120x80 view 40x80 from x 40.
    const QSize tall(80, 200);
    const QSize wide(120, 80);
    QTest::newRow("tall view, tap")
        << tall << QPoint(20, 60) << QPoint(20, 60) << PointerEvents{{{10, 20}, 1}, {{10, 20}, 0}};
    QTest::newRow("wide view, tap")
        << wide << QPoint(50, 30) << QPoint(50, 30) << PointerEvents{{{10, 30}, 1}, {{10, 30}, 0}};
    QTest::newRow("tall view, drag") << tall << QPoint(20, 60) << QPoint(70, 170)
                                     << PointerEvents{{{10, 20}, 1}, {{35, 75}, 1}, {{35, 75}, 0}};
    QTest::newRow("wide view, drag off the picture ends on its edge")
        << wide << QPoint(50, 30) << QPoint(110, 30)
        << PointerEvents{{{10, 30}, 1}, {{39, 30}, 1}, {{39, 30}, 0}};
    QTest::newRow("press beside the picture")
        << wide << QPoint(10, 30) << QPoint(60, 30) << PointerEvents{};
}

void TestViewerWindow::touchArrivesAtTheScaledPosition() {
    QFETCH(QSize, viewSize);
    QFETCH(QPoint, press);
    QFETCH(QPoint, moveTo);
    QFETCH(PointerEvents, expected);
    TinyScreenServer server(testPicture(QSize(40, 80), 0));
    Viewing viewing(server.port());
    QVERIFY(viewing.shown.wait(networkWait));
    QVERIFY(viewing.resizeView(viewSize));

    QWidget* view = viewing.view();
    QTest::mousePress(view, Qt::LeftButton, {}, press);
    if (moveTo != press)
        QTest::mouseMove(view, moveTo);
    QTest::mouseRelease(view, Qt::LeftButton, {}, moveTo);
    // A key after the pointer: once it has arrived, so has everything before it.
    QTest::keyClick(view, Qt::Key_Escape);
    QTRY_COMPARE_WITH_TIMEOUT(server.keyEvents.size(), 2, networkWait);
    QCOMPARE(server.pointerEvents, expected);
}

void TestViewerWindow::wheelScrolls() {
    TinyScreenServer server(testPicture(QSize(40, 80), 0));
    Viewing viewing(server.port());
    QVERIFY(viewing.shown.wait(networkWait));
    QVERIFY(viewing.resizeView(QSize(120, 80)));

    QWidget* view = viewing.view();
    const QPointF at(50, 30);
    const auto turn = [&](int delta) {
        QWheelEvent wheel(at, view->mapToGlobal(at), {}, QPoint(0, delta), Qt::NoButton, {},
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(view, &wheel);
    };
    turn(-120);
    // Two half notches make one.
    turn(60);
    turn(60);
    const PointerEvents expected{{{10, 30}, 16}, {{10, 30}, 0}, {{10, 30}, 8}, {{10, 30}, 0}};
    QTRY_COMPARE_WITH_TIMEOUT(server.pointerEvents, expected, networkWait);
}

void TestViewerWindow::keysArrive_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint32>("symbol");

    QTest::newRow("letter") << int(Qt::Key_A) << "a" << quint32('a');
    QTest::newRow("accented letter")
        << int(Qt::Key_Eacute) << QStringLiteral("\u00e9") << quint32(0xe9);
    QTest::newRow("beyond latin-1") << 0 << QStringLiteral("\u0436") << quint32(0x01000436);
    QTest::newRow("enter") << int(Qt::Key_Return) << "\r" << quint32(0xff0d);
    QTest::newRow("backspace") << int(Qt::Key_Backspace) << "\b" << quint32(0xff08);
    QTest::newRow("tab stays in the view") << int(Qt::Key_Tab) << "\t" << quint32(0xff09);
    QTest::newRow("arrow") << int(Qt::Key_Down) << "" << quint32(0xff54);
    QTest::newRow("escape") << int(Qt::Key_Escape) << "\x1b" << quint32(0xff1b);
}

void TestViewerWindow::keysArrive() {
    QFETCH(int, key);
    QFETCH(QString, text);
    QFETCH(quint32, symbol);
    TinyScreenServer server(testPicture(QSize(40, 80), 0));
    Viewing viewing(server.port());
    QVERIFY(viewing.shown.wait(networkWait));

    QTest::sendKeyEvent(QTest::Click, viewing.view(), Qt::Key(key), text, Qt::NoModifier);
    const KeyEvents expected{{symbol, true}, {symbol, false}};
    QTRY_COMPARE_WITH_TIMEOUT(server.keyEvents, expected, networkWait);
}

void TestViewerWindow::passwordIsAskedFor_data() {
    QTest::addColumn<QList<bool>>("verdicts");
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<bool>("cancelled");

    QTest::newRow("right the first time") << QList<bool>{true} << QStringList{"right"} << false;
    QTest::newRow("wrong, then asked again")
        << QList<bool>{false, true} << QStringList{"wrong", "right"} << false;
    QTest::newRow("cancelled") << QList<bool>{true} << QStringList{} << true;
}

void TestViewerWindow::passwordIsAskedFor() {
    QFETCH(QList<bool>, verdicts);
    QFETCH(QStringList, typed);
    QFETCH(bool, cancelled);
    TinyScreenServer server(testPicture(QSize(40, 80), 0));
    server.askPassword(verdicts);
    Viewing viewing(server.port());

    for (const QString& password : typed) {
        QTRY_VERIFY_WITH_TIMEOUT(viewing.password() != nullptr && viewing.password()->isVisible(),
                                 networkWait);
        QLineEdit* field = viewing.password();
        QCOMPARE(field->echoMode(), QLineEdit::Password);
        QVERIFY(field->text().isEmpty());
        QTest::keyClicks(field, password);
        QTest::keyClick(field, Qt::Key_Return);
        QVERIFY(!field->isVisible());
        QVERIFY2(field->text().isEmpty(), "the password is kept after it was handed on");
    }
    if (cancelled) {
        QTRY_VERIFY_WITH_TIMEOUT(viewing.password() != nullptr && viewing.password()->isVisible(),
                                 networkWait);
        QTest::keyClick(viewing.password(), Qt::Key_Escape);
        const QString line = QStringLiteral("Not connected: no password was given.");
        QTRY_COMPARE_WITH_TIMEOUT(viewing.failed.size(), 1, networkWait);
        QCOMPARE(viewing.failed.front().front().toString(), line);
        QCOMPARE(viewing.status()->text(), line);
        QVERIFY(viewing.status()->isVisible());
        QVERIFY(!viewing.window.isShowingScreen());
        return;
    }
    QVERIFY(viewing.shown.wait(networkWait));
    QCOMPARE(server.passwordResponses.size(), typed.size());
    if (typed.size() == 2)
        QVERIFY(server.passwordResponses[0] != server.passwordResponses[1]);
    QVERIFY(viewing.failed.isEmpty());
    QVERIFY(!viewing.status()->isVisible());
}

void TestViewerWindow::endShowsItsLine_data() {
    QTest::addColumn<QString>("ending");
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("failsToConnect");

    QTest::newRow("server closes") << "close"
                                   << "The phone's screen server closed the connection." << false;
    QTest::newRow("server gone") << "reset"
                                 << "The connection to the phone's screen server was lost."
                                 << false;
    QTest::newRow("nothing listens") << "none"
                                     << "The phone's screen server refused the connection." << true;
}

// The line says which, Reconnect reconnects, and an ended screen takes no input.
void TestViewerWindow::endShowsItsLine() {
    QFETCH(QString, ending);
    QFETCH(QString, line);
    QFETCH(bool, failsToConnect);
    auto server = std::make_unique<TinyScreenServer>(testPicture(QSize(40, 80), 0));
    const quint16 port = server->port();
    if (failsToConnect)
        server.reset();
    Viewing viewing(port);
    auto* reconnect = viewing.window.findChild<QPushButton*>(QStringLiteral("reconnectButton"));
    QVERIFY(reconnect != nullptr);
    if (server) {
        QVERIFY(viewing.shown.wait(networkWait));
        if (ending == QLatin1String("close"))
            server->closeClient();
        else
            server->resetClient();
    }
    QTRY_VERIFY_WITH_TIMEOUT(viewing.status()->isVisible(), networkWait);
    QCOMPARE(viewing.status()->text(), line);
    QVERIFY(reconnect->isVisible());
    QVERIFY(!viewing.window.isShowingScreen());
    QCOMPARE(viewing.failed.size(), failsToConnect ? 1 : 0);
    if (failsToConnect) {
        QCOMPARE(viewing.failed.front().front().toString(), line);
        return;
    }

    QTest::mouseClick(viewing.view(), Qt::LeftButton, {}, QPoint(10, 10));
    QTest::keyClick(viewing.view(), Qt::Key_A);
    QTest::mouseClick(reconnect, Qt::LeftButton);
    QVERIFY(viewing.shown.wait(networkWait));
    QVERIFY(!viewing.status()->isVisible());
    QVERIFY(viewing.window.isShowingScreen());
    QVERIFY(server->pointerEvents.isEmpty());
    QVERIFY(server->keyEvents.isEmpty());
}

void TestViewerWindow::closingEndsTheThreadWithinASecond_data() {
    QTest::addColumn<QString>("stage");
    QTest::newRow("showing the screen") << "showing";
    QTest::newRow("connecting to a port that never answers") << "connecting";
    QTest::newRow("asking for the password") << "password";
}

void TestViewerWindow::closingEndsTheThreadWithinASecond() {
    QFETCH(QString, stage);
    TinyScreenServer server(testPicture(QSize(40, 80), 0));
    SilentListener silent;
    if (stage == QLatin1String("password"))
        server.askPassword(true);
    Viewing viewing(stage == QLatin1String("connecting") ? silent.port : server.port());
    if (stage == QLatin1String("showing"))
        QVERIFY(viewing.shown.wait(networkWait));
    else if (stage == QLatin1String("password"))
        QTRY_VERIFY_WITH_TIMEOUT(viewing.password() != nullptr && viewing.password()->isVisible(),
                                 networkWait);
    else
        QTest::qWait(300);
    QPointer<RfbConnection> connection = viewing.connection();
    QVERIFY(connection != nullptr);
    QVERIFY(connection->isRunning());
    QSignalSpy stopped(connection.data(), &RfbConnection::stopped);
    QSignalSpy closed(&viewing.window, &ViewerWindow::closed);

    QElapsedTimer clock;
    clock.start();
    QVERIFY(viewing.window.close());
    QCOMPARE(closed.size(), 1);
    QVERIFY(stopped.wait(1000));
    QVERIFY(clock.elapsed() < 1000);
    QVERIFY(viewing.failed.isEmpty());
}

void TestViewerWindow::windowTakesThePhonesShape() {
    TinyScreenServer server(testPicture(QSize(40, 80), 0));
    Viewing viewing(server.port());
    QVERIFY(viewing.shown.wait(networkWait));
    QTRY_COMPARE_WITH_TIMEOUT(viewing.view()->size(), QSize(40, 80), networkWait);

    // The phone turned.
    const QImage turned = testPicture(QSize(96, 30), 5);
    server.changeSize(turned);
    QTRY_COMPARE_WITH_TIMEOUT(viewing.view()->size(), QSize(96, 30), networkWait);
    QTRY_COMPARE_WITH_TIMEOUT(drawn(viewing.view()), turned, networkWait);
}

// The worker reallocates the copy on a size change while the GUI thread
// paints from it: run under the sanitizers, this shows any unguarded access.
void TestViewerWindow::frameCopyHoldsUnderSizeChangesWhilePainting() {
    const QList<QImage> pictures{testPicture(QSize(40, 80), 0), testPicture(QSize(96, 30), 9),
                                 testPicture(QSize(64, 64), 17)};
    TinyScreenServer server(pictures.front());
    Viewing viewing(server.port());
    QVERIFY(viewing.shown.wait(networkWait));
    QTimer painter;
    QObject::connect(&painter, &QTimer::timeout, viewing.view(),
                     [&] { viewing.view()->repaint(); });
    painter.start(0);
    for (int round = 1; round <= 24; ++round) {
        const QImage& next = pictures[round % pictures.size()];
        server.changeSize(next);
        QTRY_VERIFY_WITH_TIMEOUT(viewing.connection()->image() == next, networkWait);
    }
    painter.stop();
    QTRY_COMPARE_WITH_TIMEOUT(viewing.view()->size(), pictures.front().size(), networkWait);
    QTRY_COMPARE_WITH_TIMEOUT(drawn(viewing.view()), pictures.front(), networkWait);
}

void TestViewerWindow::serversPointerShapeIsShown() {
    TinyScreenServer server(testPicture(QSize(40, 80), 0));
    Viewing viewing(server.port());
    QVERIFY(viewing.shown.wait(networkWait));
    QVERIFY(viewing.resizeView(QSize(80, 160)));
    QImage shape(QSize(6, 4), QImage::Format_ARGB32);
    shape.fill(qRgb(10, 200, 30));
    server.sendCursor(shape, QPoint(1, 2));

    // Drawn at the picture's scale: twice the size, the hotspot with it.
    QTRY_VERIFY_WITH_TIMEOUT(!viewing.view()->cursor().pixmap().isNull(), networkWait);
    QCOMPARE(viewing.view()->cursor().pixmap().size(), QSize(12, 8));
    QCOMPARE(viewing.view()->cursor().hotSpot(), QPoint(2, 4));
}

QTEST_MAIN(TestViewerWindow)
#include "test_viewer_window.moc"
