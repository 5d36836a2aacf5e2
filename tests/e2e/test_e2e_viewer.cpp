// SPDX-License-Identifier: GPL-3.0-or-later
// View in the program's own window, through the real adb: the phone's picture
// on screen, a tap and keys arriving at the phone's server where they should,
// an unplugged phone while the pointer moves, a closed window's thread, and
// `--view` run as the built program.
#include "e2e/CliRun.h"
#include "e2e/LoopbackProbe.h"
#include "e2e/PhoneScreen.h"
#include "e2e/ProgramSession.h"
#include "gui/viewer/ScreenshotFile.h"
#include "gui/viewer/ViewerWindow.h"
#include "gui/viewer/ViewerWindows.h"
#include "viewer/RfbConnection.h"
#include "xvnc/XvncServer.h"

#include <QAbstractButton>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSet>
#include <QStandardPaths>
#include <QTest>

#include <cmath>
#include <csignal>

using namespace ostrel;
using namespace ostrel::e2e;
using ostrel::test::XvncServer;

namespace {

constexpr int ScreenWait = 10000;

// A phone whose server runs from the start.
PhoneScenario runningPhone() {
    PhoneScenario scenario;
    scenario.alreadyRunning = true;
    return scenario;
}

// Clicks View for the selected phone; the window it opened, if any.
ViewerWindow* view(ProgramSession& session, const SimulatedPhone& phone) {
    QTest::mouseClick(session.program().window->ui.viewButton, Qt::LeftButton);
    session.waitForTheFlow();
    return session.program().controller->viewerWindows().windowOf(phone.serial());
}

QWidget* screenViewOf(ViewerWindow* window) {
    return window->findChild<QWidget*>(QStringLiteral("screenView"));
}

// Where the screen's picture lies in the view that paints it: scaled to fit
// with its shape kept, in the middle.
struct PictureArea {
    QPointF origin;
    double scale = 1;

    QPoint viewPoint(QPointF framePoint) const {
        return (origin + (framePoint + QPointF(0.5, 0.5)) * scale).toPoint();
    }
};

PictureArea pictureAreaOf(const QWidget* view, QSize frame) {
    const double scale =
        std::min(double(view->width()) / frame.width(), double(view->height()) / frame.height());
    const QPointF origin((view->width() - frame.width() * scale) / 2,
                         (view->height() - frame.height() * scale) / 2);
    return {origin, scale};
}

bool near(QPoint logged, QPoint wanted, int tolerance) {
    return std::abs(logged.x() - wanted.x()) <= tolerance &&
           std::abs(logged.y() - wanted.y()) <= tolerance;
}

bool near(QRgb shown, QRgb wanted, int tolerance) {
    return std::abs(qRed(shown) - qRed(wanted)) <= tolerance &&
           std::abs(qGreen(shown) - qGreen(wanted)) <= tolerance &&
           std::abs(qBlue(shown) - qBlue(wanted)) <= tolerance;
}

QString pointerStory(const SimulatedPhone& phone) {
    QStringList lines;
    for (const RfbPointerEvent& event : phone.pointerEvents())
        lines << QStringLiteral("%1,%2 mask %3")
                     .arg(event.position.x())
                     .arg(event.position.y())
                     .arg(event.buttonMask);
    return lines.join(u'\n');
}

// What Qt calls its threads that stay for later work (/proc shows 15 characters).
const QStringList qtServiceThreads{QStringLiteral("Thread (pooled)"),
                                   QStringLiteral("QNetworkAccessM")};

// This process's threads, by id, and what each is called.
QHash<QString, QString> threadsByName() {
    QHash<QString, QString> threads;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& id : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(id + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly))
            threads.insert(id, QString::fromUtf8(comm.readAll()).trimmed());
    }
    return threads;
}

// Threads in `after` and not in `before`, apart from Qt's own that outlive
// their work by design (pooled ones, and the network access thread).
QSet<QString> threadsStarted(const QHash<QString, QString>& before,
                             const QHash<QString, QString>& after) {
    QSet<QString> started;
    for (auto thread = after.begin(); thread != after.end(); ++thread) {
        if (!before.contains(thread.key()) && !qtServiceThreads.contains(thread.value()))
            started.insert(thread.key());
    }
    return started;
}

bool fullFrameSent(const SimulatedPhone& phone) {
    for (const QJsonObject& event : phone.events()) {
        if (event.value(QStringLiteral("event")).toString() == QStringLiteral("rfb_frame"))
            return true;
    }
    return false;
}

// The built program's `--view` for `phone`, on the display `display` names.
void startView(QProcess& program, const AdbServerScope& scope, const SimulatedPhone& phone,
               const QProcessEnvironment& display) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "XDG_CONFIG_HOME"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(display);
    program.setProcessEnvironment(environment);
    program.setProgram(QStringLiteral(OSTREL_DRAVIK_EXECUTABLE));
    program.setArguments({QStringLiteral("--adb"), scope.adbPath(), QStringLiteral("--serial"),
                          phone.serial(), QStringLiteral("--view")});
    program.setStandardInputFile(QProcess::nullDevice());
    program.start();
}

// The closing helper on `display`: with `--pids`, the ids of the processes
// whose windows it would close; otherwise it closes them. Empty when it
// found no window.
QStringList onWindowsOf(const XvncServer& display, const QStringList& options = {}) {
    QProcess helper;
    helper.start(QStringLiteral("python3"),
                 QStringList{QStringLiteral(OSTREL_CLOSE_WINDOW_SCRIPT), display.display()} +
                     options);
    if (!helper.waitForFinished(10000) || helper.exitCode() != 0)
        return {};
    const QString out = QString::fromUtf8(helper.readAllStandardOutput());
    return options.isEmpty() ? QStringList{QStringLiteral("closed")}
                             : out.split(u'\n', Qt::SkipEmptyParts);
}

// Whether the process `pid` ignores SIGPIPE, as its status in /proc says.
bool ignoresBrokenPipes(const QString& pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("SigIgn:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGPIPE - 1)) & 1;
    }
    return false;
}

} // namespace

#define ATTACH_TO_SCOPE(phone, scope, scenario)                                                    \
    SimulatedPhone phone;                                                                          \
    do {                                                                                           \
        QString why;                                                                               \
        QVERIFY2((scope).problem().isEmpty(), qPrintable((scope).problem()));                      \
        QVERIFY2((phone).start(scenario, &why) &&                                                  \
                     (scope).connect(phone, QStringLiteral("device"), &why),                       \
                 qPrintable(why));                                                                 \
    } while (false)

#define VIEW_THE_SCREEN(window, session, phone)                                                    \
    ViewerWindow* window = view(session, *(phone));                                                \
    QVERIFY2(window != nullptr, qPrintable((session).story()));                                    \
    QCOMPARE(window->objectName(), QStringLiteral("viewerWindow"));                                \
    QTRY_VERIFY2_WITH_TIMEOUT(window->isShowingScreen(), qPrintable((session).story()), ScreenWait)

class E2eViewerTest : public QObject {
    Q_OBJECT

    // Viewing on: the program's own window, whatever the default becomes.
    static void viewInThisProgram(ProgramSession& session) {
        session.program().settings.storeViewPlace(ViewPlace::ThisProgram);
    }

private Q_SLOTS:
    void initTestCase() {
        ProgramSession session;
        const QString why = whyNotTheRealAdb(session);
        QVERIFY2(why.isEmpty(), qPrintable(why));
    }

    // Each scenario's adb server takes its forwards with it when it ends; a
    // port still taken after that was left by something else.
    void init() {
        for (quint16 port : {5901, 5801})
            QTRY_VERIFY2_WITH_TIMEOUT(!acceptsConnections(port, 500),
                                      qPrintable(QStringLiteral("127.0.0.1:%1 is taken").arg(port)),
                                      5000);
    }

    // The window shows what the phone's server sends, pixel for pixel in the
    // copy it paints from, and scaled (smoothly) on screen.
    void viewShowsThePhonesScreen() {
        ProgramSession session;
        viewInThisProgram(session);
        ATTACH_PHONE(phone, session, runningPhone(), QStringLiteral("device"));

        VIEW_THE_SCREEN(window, session, phone);

        const QImage expected = expectedScreen(runningPhone().screen);
        auto* connection = window->findChild<RfbConnection*>();
        QVERIFY(connection != nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(
            connection->image().convertToFormat(QImage::Format_RGB32) == expected, ScreenWait);
        QWidget* screenView = screenViewOf(window);
        QVERIFY(screenView != nullptr);
        const PictureArea area = pictureAreaOf(screenView, expected.size());
        const QImage shown = screenView->grab().toImage().convertToFormat(QImage::Format_RGB32);
        // Amid the chequer's squares, where smoothing changes the colour least.
        for (const QPoint framePoint : {QPoint(48, 80), QPoint(176, 400), QPoint(304, 720)}) {
            const QPoint at = area.viewPoint(framePoint) * shown.devicePixelRatio();
            QVERIFY2(near(shown.pixel(at), expected.pixel(framePoint), 8),
                     qPrintable(QStringLiteral("at %1,%2: %3 for %4")
                                    .arg(framePoint.x())
                                    .arg(framePoint.y())
                                    .arg(shown.pixel(at) & 0xFFFFFF, 6, 16)
                                    .arg(expected.pixel(framePoint) & 0xFFFFFF, 6, 16)));
        }
    }

    void tapArrivesAtItsFramePosition_data() {
        QTest::addColumn<QPointF>("framePoint");
        QTest::newRow("middle") << QPointF(180, 400);
        QTest::newRow("near the top left") << QPointF(20, 30);
        QTest::newRow("near the bottom right") << QPointF(340, 770);
    }

    void tapArrivesAtItsFramePosition() {
        QFETCH(QPointF, framePoint);
        ProgramSession session;
        viewInThisProgram(session);
        ATTACH_PHONE(phone, session, runningPhone(), QStringLiteral("device"));
        VIEW_THE_SCREEN(window, session, phone);
        QWidget* screenView = screenViewOf(window);
        QVERIFY(screenView != nullptr);
        const PictureArea area = pictureAreaOf(screenView, runningPhone().screen);
        // One pixel of the view covers 1/scale of the phone's.
        const int tolerance = int(std::ceil(1 / area.scale)) + 1;

        QTest::mouseClick(screenView, Qt::LeftButton, {}, area.viewPoint(framePoint));

        const QPoint wanted = framePoint.toPoint();
        const auto pressedThenReleased = [&] {
            const QList<RfbPointerEvent> events = phone->pointerEvents();
            qsizetype pressed = -1;
            for (qsizetype i = 0; i < events.size(); ++i) {
                if (pressed < 0 && events[i].buttonMask == 1 &&
                    near(events[i].position, wanted, tolerance))
                    pressed = i;
                else if (pressed >= 0 && events[i].buttonMask == 0 &&
                         near(events[i].position, wanted, tolerance))
                    return true;
            }
            return false;
        };
        QTRY_VERIFY2_WITH_TIMEOUT(pressedThenReleased(), qPrintable(pointerStory(*phone)),
                                  ScreenWait);
    }

    void keysArriveAsKeySymbols_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<quint32>("keysym");
        QTest::newRow("a letter") << int(Qt::Key_A) << quint32(0x61);
        QTest::newRow("Enter") << int(Qt::Key_Return) << quint32(0xFF0D);
        QTest::newRow("Backspace") << int(Qt::Key_Backspace) << quint32(0xFF08);
        QTest::newRow("an arrow") << int(Qt::Key_Left) << quint32(0xFF51);
    }

    void keysArriveAsKeySymbols() {
        QFETCH(int, key);
        QFETCH(quint32, keysym);
        ProgramSession session;
        viewInThisProgram(session);
        ATTACH_PHONE(phone, session, runningPhone(), QStringLiteral("device"));
        VIEW_THE_SCREEN(window, session, phone);
        QWidget* screenView = screenViewOf(window);
        QVERIFY(screenView != nullptr);

        QTest::keyClick(screenView, Qt::Key(key));

        const QList<RfbKeyEvent> pressAndRelease{{keysym, true}, {keysym, false}};
        QTRY_COMPARE_WITH_TIMEOUT(phone->keyEvents(), pressAndRelease, ScreenWait);
    }

    // Back and Home beside the screen reach the phone as its own key events,
    // named with -s, one after the other.
    void phoneButtonsReachThePhone() {
        ProgramSession session;
        viewInThisProgram(session);
        ATTACH_PHONE(phone, session, runningPhone(), QStringLiteral("device"));
        VIEW_THE_SCREEN(window, session, phone);
        auto* back = window->findChild<QAbstractButton*>(QStringLiteral("phoneBackButton"));
        auto* home = window->findChild<QAbstractButton*>(QStringLiteral("phoneHomeButton"));
        QVERIFY(back != nullptr && home != nullptr);

        QTest::mouseClick(back, Qt::LeftButton);
        QTest::mouseClick(home, Qt::LeftButton);

        const QList<QStringList> pressed{
            {QStringLiteral("input"), QStringLiteral("keyevent"), QStringLiteral("4")},
            {QStringLiteral("input"), QStringLiteral("keyevent"), QStringLiteral("3")}};
        const auto keyEvents = [&phone] {
            QList<QStringList> found;
            for (const QStringList& command : phone->commandLog()) {
                if (command.value(0) == QStringLiteral("input"))
                    found.append(command);
            }
            return found;
        };
        QTRY_COMPARE_WITH_TIMEOUT(keyEvents(), pressed, ScreenWait);
        auto* notice = window->findChild<QLabel*>(QStringLiteral("viewerNotice"));
        QVERIFY2(notice == nullptr || notice->isHidden(), qPrintable(notice->text()));
    }

    // Screenshot saves the frame shown, pixel for pixel, where the window says.
    void screenshotIsTheFrameShown() {
        ProgramSession session;
        viewInThisProgram(session);
        ATTACH_PHONE(phone, session, runningPhone(), QStringLiteral("device"));
        VIEW_THE_SCREEN(window, session, phone);
        const QImage expected = expectedScreen(runningPhone().screen);
        auto* connection = window->findChild<RfbConnection*>();
        QVERIFY(connection != nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(
            connection->image().convertToFormat(QImage::Format_RGB32) == expected, ScreenWait);
        auto* screenshot = window->findChild<QAbstractButton*>(QStringLiteral("screenshotButton"));
        auto* notice = window->findChild<QLabel*>(QStringLiteral("viewerNotice"));
        QVERIFY(screenshot != nullptr && notice != nullptr);

        QTest::mouseClick(screenshot, Qt::LeftButton);

        QTRY_VERIFY_WITH_TIMEOUT(notice->isVisible(), ScreenWait);
        const QDir folder(screenshotFolder(
            QStandardPaths::writableLocation(QStandardPaths::PicturesLocation), QDir::homePath()));
        const QStringList saved = folder.entryList({QStringLiteral("*.png")}, QDir::Files);
        QCOMPARE(saved.size(), 1);
        const QString path = folder.filePath(saved.first());
        QVERIFY2(notice->text().contains(QDir::toNativeSeparators(path)) ||
                     notice->text().contains(path),
                 qPrintable(notice->text()));
        QCOMPARE(QImage(path).convertToFormat(QImage::Format_RGB32), expected);
        QFile::remove(path);
    }

    // The phone goes while a finger drags across its screen: the window says
    // the connection closed and offers to reconnect; the program neither
    // hangs nor dies of a write to the closed socket.
    void unpluggedWhileDraggingShowsTheClosedLine() {
        ProgramSession session;
        viewInThisProgram(session);
        ATTACH_PHONE(phone, session, runningPhone(), QStringLiteral("device"));
        VIEW_THE_SCREEN(window, session, phone);
        QWidget* screenView = screenViewOf(window);
        QVERIFY(screenView != nullptr);
        const PictureArea area = pictureAreaOf(screenView, runningPhone().screen);

        QTest::mousePress(screenView, Qt::LeftButton, {}, area.viewPoint(QPointF(100, 100)));
        QCOMPARE(session.scope().run({QStringLiteral("disconnect"), phone->serial()}).exitCode, 0);
        qint64 longestMove = 0;
        for (int step = 0; step < 60; ++step) {
            QElapsedTimer move;
            move.start();
            QTest::mouseMove(screenView, area.viewPoint(QPointF(100 + step * 3, 100 + step * 7)));
            longestMove = std::max(longestMove, move.elapsed());
            QTest::qWait(20);
        }
        QTest::mouseRelease(screenView, Qt::LeftButton, {}, area.viewPoint(QPointF(280, 520)));

        auto* status = window->findChild<QLabel*>(QStringLiteral("viewerStatus"));
        auto* reconnect = window->findChild<QPushButton*>(QStringLiteral("reconnectButton"));
        QVERIFY(status != nullptr && reconnect != nullptr);
        QTRY_VERIFY2_WITH_TIMEOUT(status->isVisible() && !status->text().isEmpty(),
                                  qPrintable(session.story()), ScreenWait);
        QVERIFY(reconnect->isVisible());
        QVERIFY(!window->isShowingScreen());
        // A move that waited on the network would show as a freeze.
        QVERIFY2(longestMove < 1000,
                 qPrintable(QStringLiteral("a move took %1 ms").arg(longestMove)));
    }

    // Closing the window ends its connection's thread within a second.
    void closingEndsTheThreadWithinASecond() {
#ifndef Q_OS_LINUX
        QSKIP("this process's threads are read from /proc");
#endif
        ProgramSession session;
        viewInThisProgram(session);
        ATTACH_PHONE(phone, session, runningPhone(), QStringLiteral("device"));
        const QHash<QString, QString> before = threadsByName();
        VIEW_THE_SCREEN(window, session, phone);
        const QSet<QString> started = threadsStarted(before, threadsByName());
        QVERIFY2(!started.isEmpty(), "the connection runs on a thread of its own");

        QElapsedTimer clock;
        clock.start();
        window->close();
        QTRY_VERIFY_WITH_TIMEOUT(!threadsStarted(before, threadsByName()).intersects(started),
                                 5000);
        QVERIFY2(clock.elapsed() <= 1000,
                 qPrintable(QStringLiteral("the thread ended after %1 ms").arg(clock.elapsed())));
    }

    // A server that greets and then refuses: the window cannot connect, and
    // the command says so by its status.
    void viewCommandFailsWhenTheServerRefuses() {
        AdbServerScope scope;
        PhoneScenario scenario = runningPhone();
        scenario.vncRefusal = QStringLiteral("Too many viewers");
        ATTACH_TO_SCOPE(phone, scope, scenario);
        QProcess program;
        QProcessEnvironment offscreen;
        offscreen.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

        startView(program, scope, phone, offscreen);

        const CliRun run = collectRun(program, 60000);
        QVERIFY2(run.finished && run.exitCode == 1, qPrintable(run.story()));
    }

    // On a display of its own, the window shows the phone's screen and is
    // closed as a user closes it; the program, which ignores SIGPIPE, ends well.
    void viewCommandEndsWellOnceTheWindowWasClosed() {
#ifndef Q_OS_LINUX
        QSKIP("needs Xvnc and /proc");
#endif
        QVERIFY2(XvncServer::installed(), "Xvnc is not installed (scripts/install-deps.sh)");
        XvncServer display;
        const QString why = display.start({QSize(800, 1000), std::nullopt, false});
        QVERIFY2(why.isEmpty(), qPrintable(why));
        AdbServerScope scope;
        ATTACH_TO_SCOPE(phone, scope, runningPhone());
        QProcess program;
        QProcessEnvironment onDisplay;
        onDisplay.insert(QStringLiteral("DISPLAY"), display.display());
        onDisplay.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));

        startView(program, scope, phone, onDisplay);

        const auto shownOrEnded = [&] {
            return program.state() == QProcess::NotRunning ||
                   (fullFrameSent(phone) &&
                    !onWindowsOf(display, {QStringLiteral("--pids")}).isEmpty());
        };
        QTRY_VERIFY_WITH_TIMEOUT(shownOrEnded(), 30000);
        // (The story is told only on failure: telling it ends the program.)
        if (program.state() != QProcess::Running)
            QFAIL(qPrintable(collectRun(program, 1000).story()));
        for (const QString& pid : onWindowsOf(display, {QStringLiteral("--pids")}))
            QVERIFY2(ignoresBrokenPipes(pid), qPrintable(pid));
        QVERIFY(!onWindowsOf(display).isEmpty());
        const CliRun run = collectRun(program, 30000);
        QVERIFY2(run.finished && run.exitCode == 0, qPrintable(run.story()));
    }
};

QTEST_MAIN(E2eViewerTest)
#include "test_e2e_viewer.moc"
