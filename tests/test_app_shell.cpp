// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/PlatformTexts.h"
#include "support/ControllerFixture.h"

#include <QAccessible>
#include <QLabel>
#include <QTest>
#include <QTimer>

using namespace ostrel;
using namespace ostrel::test;

namespace {

const QString Instructions =
    QStringLiteral(
        "Instructions:\n\n"
        "(1) Enable USB debugging on your android device by going to:\n"
        "    Settings > Developer options > USB debugging, or\n"
        "    Settings > Applications > Development > USB debugging\n"
        "if you don't see Developers option, go to Settings > About phone > Build number, then tap "
        "multiple times to bring up Developer options.\n"
        "(2) Connect your android device to this PC with USB cable.\n"
        "(3) Click the above Start Ostrel VNC Server button.\n"
        "(4) Make sure set a password if you want to use %1. Click Menu button on device then tap "
        "Settings to see options for the vnc server.\n"
        "\n")
        .arg(builtInViewer());

} // namespace

class AppShellTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ControllerFixture> f;
    std::unique_ptr<StandInAdb> adb;

private Q_SLOTS:
    void init() {
        f = std::make_unique<ControllerFixture>();
        adb = std::make_unique<StandInAdb>(f->directory.filePath("adb-bin"));
        f->chooseAdb(adb->path());
    }
    void cleanup() {
        adb.reset();
        f.reset();
    }

    void startUpWritesTheInstructions() {
        QCOMPARE(f->consoleText(), Instructions);
        QCOMPARE(f->window->ui.statusLabel->text(), QString());
        QVERIFY(f->window->ui.getTheApp->text().contains(
            "Get the Ostrel VNC Server App from Google Play"));
        QVERIFY(adb->invocations().isEmpty()); // no adb command at start-up
    }

    void clearEmptiesOnlyTheConsole() {
        f->window->ui.statusLabel->setText("Ostrel VNC server is running");
        const QString storeLink = f->window->ui.getTheApp->text();
        QTest::mouseClick(f->window->ui.clearButton, Qt::LeftButton);
        QCOMPARE(f->consoleText(), QString());
        QCOMPARE(f->window->ui.statusLabel->text(), QStringLiteral("Ostrel VNC server is running"));
        QCOMPARE(f->window->ui.getTheApp->text(), storeLink);
    }

    void helpButtonAndMenuOpenTheHelpPage() {
        QTest::mouseClick(f->window->ui.helpButton, Qt::LeftButton);
        f->window->ui.actionHelp->trigger();
        const QUrl help("http://127.0.0.1:9/zelq/");
        QCOMPARE(f->desktop.openedUrls, (QList<QUrl>{help, help}));
        QCOMPARE(f->consoleText(), Instructions);
    }

    // Whoever made it: a forward another client holds keeps the server too.
    void quitStopsTheAdbServerUnlessAForwardHolds_data() {
        QTest::addColumn<bool>("forward");
        QTest::addColumn<bool>("byClosingTheWindow");
        QTest::newRow("menu, no forward") << false << false;
        QTest::newRow("menu, another client's forward") << true << false;
        QTest::newRow("window closed, no forward") << false << true;
        QTest::newRow("window closed, another client's forward") << true << true;
    }

    void quitStopsTheAdbServerUnlessAForwardHolds() {
        QFETCH(bool, forward);
        QFETCH(bool, byClosingTheWindow);
        if (forward)
            f->forwardsHeld = [] { return QByteArray("R58M tcp:5902 tcp:5902\n"); };
        if (byClosingTheWindow)
            f->window->close();
        else
            f->window->ui.actionQuit->trigger();
        QTRY_COMPARE(f->desktop.quitCount, 1);
        QCOMPARE(f->server.requests(), QByteArrayList{"host:list-forward"});
        if (forward) {
            QTest::qWait(300);
            QVERIFY(adb->invocations().isEmpty());
        } else {
            QTRY_COMPARE(adb->invocations(), QList<QStringList>{{"kill-server"}});
        }
    }

    void quitStillEndsWhenAdbCannotRun() {
        f->chooseAdb(f->directory.filePath("missing/adb"));
        f->window->ui.actionQuit->trigger();
        QTRY_COMPARE(f->desktop.quitCount, 1);
    }

    // While a flow waits for adb the action controls are off and a click on
    // one is dropped for good, while Help and Quit stay available; closing
    // the window quits at once and the flow says nothing more.
    void aFlowTurnsTheOtherActionsAway() {
        adb->setStandardOutput("List of devices attached\n");
        adb->setSleepSeconds(5);
        QTest::mouseClick(f->window->ui.startButton, Qt::LeftButton);
        QTRY_VERIFY(f->flowRunning());
        for (QWidget* control : {static_cast<QWidget*>(f->window->ui.startButton),
                                 static_cast<QWidget*>(f->window->ui.usbConnectButton),
                                 static_cast<QWidget*>(f->window->ui.usbDisconnectButton),
                                 static_cast<QWidget*>(f->window->ui.adbButton),
                                 static_cast<QWidget*>(f->window->ui.clearButton),
                                 static_cast<QWidget*>(f->window->ui.deviceListComboBox)})
            QVERIFY2(!control->isEnabled(), qPrintable(control->objectName()));
        QVERIFY(!f->window->ui.actionCheckForUpdate->isEnabled());
        QVERIFY(!f->window->ui.actionUsbDisconnect->isEnabled());
        QVERIFY(f->window->ui.helpButton->isEnabled());
        QVERIFY(f->window->ui.actionQuit->isEnabled());

        QTest::mouseClick(f->window->ui.usbConnectButton, Qt::LeftButton);
        const QString consoleBefore = f->consoleText();
        f->window->close();
        QTRY_COMPARE(f->desktop.quitCount, 1);
        QTest::qWait(200);
        QCOMPARE(f->desktop.alerts.size(), 0); // the port prompt never comes
        QCOMPARE(f->consoleText(), consoleBefore);
        QVERIFY(f->noFlowAfterQuit());
    }

    void quitHasThePlatformShortcut() {
        const QKeySequence platformQuit(QKeySequence::Quit);
        QCOMPARE(f->window->ui.actionQuit->shortcut(),
                 platformQuit.isEmpty() ? QKeySequence(Qt::CTRL | Qt::Key_Q) : platformQuit);
    }

    void controlsCarryNamesAndDescriptions() {
        for (QPushButton* button : f->window->findChildren<QPushButton*>())
            QCOMPARE(button->accessibleName(), button->text());
        QCOMPARE(f->window->ui.deviceListComboBox->accessibleDescription(),
                 QStringLiteral("Devices"));
        QCOMPARE(f->window->ui.statusLabel->accessibleDescription(), QStringLiteral("Status"));
        QCOMPARE(f->window->ui.textView->accessibleDescription(), QStringLiteral("Console"));
        QCOMPARE(f->window->ui.getTheApp->accessibleDescription(), QStringLiteral("Store link"));
        QVERIFY(f->window->ui.statusLabel->accessibleName().isEmpty());
    }

    void worksWithAccessibilityOn() {
        QAccessible::setActive(true);
        f->controller->appendStringToTextView("with assistive tools\r\n");
        f->controller->onClearButtonClicked();
        QAccessibleInterface* window = QAccessible::queryAccessibleInterface(f->window.get());
        QVERIFY(window != nullptr);
        QVERIFY(window->childCount() > 0);
        QAccessible::setActive(false);
    }
};

QTEST_MAIN(AppShellTest)
#include "test_app_shell.moc"
