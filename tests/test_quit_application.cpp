// SPDX-License-Identifier: GPL-3.0-or-later
// Quitting through the real application object, its event loop and the real
// desktop: each way of ending the program stops adb's server exactly once.
#include "core/process/ProcessRunner.h"
#include "core/view/ProcessViewerTrials.h"
#include "gui/AppDelegate.h"
#include "gui/MainWindow.h"
#include "gui/QtDesktop.h"
#include "support/ControllerFixture.h"
#include "support/FakeAdbServer.h"
#include "support/StandInAdb.h"

#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include <memory>

using namespace ostrel;
using namespace ostrel::test;

namespace {

// The program as main() puts it together: the real desktop, real processes
// and viewers, its adb a stand-in chosen in a settings file of its own, and
// adb's server one whose forward list answers `forwards`.
struct AssembledProgram {
    AssembledProgram(const QString& folder, const FakeAdbServer::Reply& forwards)
        : adb(folder + QStringLiteral("/adb-bin")),
          settings(folder + QStringLiteral("/settings.conf")),
          viewers(ProcessViewerTrials::systemSearchPath()) {
        stored = settings.storeChosenAdb(adb.path()).isEmpty();
        listening = server.listen();
        server.setReply("host:list-forward", forwards);
        controller = std::make_unique<AppDelegate>(
            desktop, runner, settings, QCoreApplication::applicationDirPath(), viewers,
            SessionEnvironment{server.address()}, QUrl(QStringLiteral("http://127.0.0.1:9")));
    }
    bool ready() const { return stored && listening; }

    StandInAdb adb;
    QSettingsStore settings;
    FakeAdbServer server;
    QtDesktop desktop;
    ProcessRunner runner;
    ProcessViewerTrials viewers;
    std::unique_ptr<AppDelegate> controller;
    bool stored = false;
    bool listening = false;
};

} // namespace

class QuitApplicationTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyWayOfQuittingStopsAdbOnce_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("menu") << "menu";
        QTest::newRow("shortcut") << "shortcut";
        QTest::newRow("closing the window") << "close";
        QTest::newRow("the application told to quit") << "application";
    }

    // The program as main() puts it together, with a stand-in adb whose log
    // shows every command, the detached kill-server included.
    void everyWayOfQuittingStopsAdbOnce() {
        QFETCH(QString, how);
        QTemporaryDir directory;
        // adb's server as Quit finds it: running, and holding no forward.
        AssembledProgram program(directory.path(), FakeAdbServer::okay({}));
        QVERIFY(program.ready());
        StandInAdb& adb = program.adb;
        adb.setStandardOutput("List of devices attached\n");
        adb.setSleepSeconds(5); // the flow is waiting for it when the program quits
        AppDelegate& controller = *program.controller;
        MainWindow window(controller);
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, &controller,
                         &AppDelegate::requestQuitFromWindow);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::mouseClick(window.ui.startButton, Qt::LeftButton);
        // The window takes no new action while the flow runs.
        QTRY_VERIFY(!window.ui.startButton->isEnabled());

        QTimer::singleShot(100, &window, [&] {
            if (how == "menu") {
                window.ui.actionQuit->trigger();
            } else if (how == "shortcut") {
                window.activateWindow();
                QApplication::setActiveWindow(&window);
                QTest::keySequence(&window, window.ui.actionQuit->shortcut());
            } else if (how == "close") {
                window.close();
            } else {
                QCoreApplication::postEvent(qApp, new QEvent(QEvent::Quit));
            }
        });
        QTimer failsafe;
        failsafe.setSingleShot(true);
        bool endedByItself = true;
        QObject::connect(&failsafe, &QTimer::timeout, qApp, [&] {
            endedByItself = false;
            QCoreApplication::exit(1);
        });
        failsafe.start(5000);
        QCoreApplication::exec();
        failsafe.stop();
        QVERIFY(endedByItself);
        // No flow runs any more: Clear, refused while one does, empties the
        // console the flow wrote to.
        QVERIFY(!window.ui.textView->toPlainText().isEmpty());
        controller.onClearButtonClicked();
        QCOMPARE(window.ui.textView->toPlainText(), QString());

        // kill-server runs detached: give it time to show in the log.
        QList<QStringList> kills;
        for (int wait = 0; wait < 30; ++wait) {
            QTest::qWait(50);
            kills = adb.invocations();
            kills.removeIf(
                [](const QStringList& run) { return run != QStringList{"kill-server"}; });
            if (!kills.isEmpty())
                break;
        }
        QTest::qWait(300);
        kills = adb.invocations();
        kills.removeIf([](const QStringList& run) { return run != QStringList{"kill-server"}; });
        QCOMPARE(kills.size(), 1);
    }

    // A logout may come while Quit still asks adb's server for its forwards:
    // the program ends there, and neither stops the server nor takes the
    // answer that no longer comes for leave to close.
    void endingFromOutsideAbandonsAQuitUnderWay() {
        QTemporaryDir directory;
        AssembledProgram program(directory.path(), FakeAdbServer::hang());
        QVERIFY(program.ready());
        AppDelegate& controller = *program.controller;

        controller.onQuiteMenu();
        QTRY_VERIFY(program.server.requests().contains("host:list-forward"));
        controller.endAtOnce();
        QTest::qWait(300);
        QVERIFY(!controller.readyToQuit());
        QVERIFY(!program.adb.invocations().contains(QStringList{"kill-server"}));
    }
};

QTEST_MAIN(QuitApplicationTest)
#include "test_quit_application.moc"
