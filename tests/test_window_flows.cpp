// SPDX-License-Identifier: GPL-3.0-or-later
// The window while a flow runs, driven by real mouse and key events: nothing
// aimed at a disabled control is carried out later, and quitting never waits
// for the flow.
#include "support/ConsoleTexts.h"
#include "support/ControllerFixture.h"
#include "support/PhoneCommands.h"
#include "support/ScriptedPhone.h"

#include <QElapsedTimer>
#include <QJsonValue>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;
using namespace ostrel::test::phone;
using namespace ostrel::test::texts;

namespace {

// The app unpacks its executable on the third look, so the flow waits once.
QList<QStringList> firstStart() {
    QList<QStringList> runs{devices()};
    for (const QStringList& command :
         {fileList(FirstPackage), fileList(SecondPackage), launchActivity(FirstPackage),
          launchActivity(SecondPackage), fileList(FirstPackage), fileList(SecondPackage),
          fileList(FirstPackage), runServer(FirstPackage), processList()})
        runs.append(QStringList{"-s", "emulator-5554"} + command);
    return runs;
}

} // namespace

class WindowFlowsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ScriptedPhone> phone;
    std::unique_ptr<ControllerFixture> f;

    // The executable shows on its second listing, so the start flow spends
    // `retry` waiting in the middle.
    void attach(const QJsonObject& scenario, Waits waits) {
        phone = std::make_unique<ScriptedPhone>(scenario);
        f = std::make_unique<ControllerFixture>(waits, QUrl(QStringLiteral("http://127.0.0.1:9")),
                                                false, phone.get());
        f->chooseAdb(QStringLiteral("/scripted/adb"));
    }
    static Waits withRetry(std::chrono::milliseconds retry) {
        Waits waits = fastWaits();
        waits.presenceRetry = retry;
        return waits;
    }
    void click(QWidget* control) { QTest::mouseClick(control, Qt::LeftButton); }
    QList<QStringList> killServers() const {
        QList<QStringList> runs = phone->invocations();
        runs.removeIf([](const QStringList& run) { return run != QStringList{"kill-server"}; });
        return runs;
    }

private Q_SLOTS:
    void cleanup() {
        f.reset();
        phone.reset();
    }

    void doubleClickOnStartRunsOneFlow() {
        attach({{"package", FirstPackage}, {"presentFrom", 3}},
               withRetry(std::chrono::milliseconds(400)));
        click(f->window->ui.startButton);
        QTest::qWait(100);
        QVERIFY(f->flowRunning());
        click(f->window->ui.startButton);
        QTRY_VERIFY(!f->flowRunning());
        QTest::qWait(100);
        QCOMPARE(phone->invocations(), firstStart());
        QCOMPARE(f->window->ui.startButton->text(), StopTitle);
        QCOMPARE(f->window->ui.statusLabel->text(), RunningStatus);
    }

    void clickOnADisabledControlIsDropped() {
        attach({{"package", FirstPackage}, {"presentFrom", 3}},
               withRetry(std::chrono::milliseconds(300)));
        click(f->window->ui.startButton);
        QTRY_VERIFY(f->flowRunning());
        click(f->window->ui.usbConnectButton);
        click(f->window->ui.clearButton);
        QTRY_VERIFY(!f->flowRunning());
        QTest::qWait(200);
        QVERIFY(f->desktop.alerts.isEmpty()); // no port prompt afterwards
        QVERIFY(f->consoleText().contains(RunningRow));
        QCOMPARE(phone->invocations(), firstStart());
    }

    void quitDuringTheWaitForTheAppEndsAtOnce_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("menu") << "menu";
        QTest::newRow("shortcut") << "shortcut";
        QTest::newRow("closing the window") << "close";
    }

    // The app is missing: the flow would look for it for about ten seconds.
    void quitDuringTheWaitForTheAppEndsAtOnce() {
        QFETCH(QString, how);
        attach({{"package", QJsonValue::Null}}, Waits{});
        click(f->window->ui.startButton);
        QTest::qWait(300);
        QVERIFY(f->flowRunning());
        const QString console = f->consoleText();
        const qsizetype runsBefore = phone->invocations().size();
        QElapsedTimer quitting;
        quitting.start();
        if (how == "menu") {
            f->window->ui.actionQuit->trigger();
        } else if (how == "shortcut") {
            f->window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(f->window.get()));
            QTest::keySequence(f->window.get(), f->window->ui.actionQuit->shortcut());
        } else {
            f->window->close();
        }
        QTRY_COMPARE(f->desktop.quitCount, 1);
        QVERIFY2(quitting.elapsed() < 1000, qPrintable(QString::number(quitting.elapsed())));
        // Whatever else ends the program now changes nothing.
        f->window->close();
        f->controller->onQuiteMenu();
        QTest::qWait(1500);
        QCOMPARE(f->desktop.quitCount, 1);
        QCOMPARE(f->consoleText(), console);
        QCOMPARE(phone->invocations().mid(runsBefore), QList<QStringList>{{"kill-server"}});
        QCOMPARE(killServers().size(), 1);
        QVERIFY(f->noFlowAfterQuit());
    }

    void quitDuringAHangingCommandCancelsIt() {
        attach({}, fastWaits());
        phone->hangOn(devices());
        click(f->window->ui.startButton);
        QTRY_COMPARE(phone->waiting(), 1);
        f->window->ui.actionQuit->trigger();
        QCOMPARE(phone->waiting(), 0);
        QTRY_COMPARE(f->desktop.quitCount, 1);
        QCOMPARE(phone->invocations(), (QList<QStringList>{devices(), {"kill-server"}}));
        QVERIFY(!f->consoleText().contains("Error"));
    }
};

QTEST_MAIN(WindowFlowsTest)
#include "test_window_flows.moc"
