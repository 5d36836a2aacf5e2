// SPDX-License-Identifier: GPL-3.0-or-later
// View, Choose VNC Viewer and Settings in the real window, by mouse and
// keyboard: the first View on a phone asks for its port, the next ones
// remember it, View is switched off whenever USB Disconnect is, and it shows
// the screen in a window of the program's own, one a phone, unless the
// settings send it to another viewer.
#include "core/settings/ViewPlace.h"
#include "gui/SettingsDialog.h"
#include "gui/viewer/ViewerWindow.h"
#include "support/ControllerFixture.h"
#include "support/LocalGreeter.h"
#include "support/PhoneCommands.h"
#include "support/ScriptedPhone.h"
#include "support/TestPorts.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;
using namespace ostrel::test::phone;

namespace {

constexpr int Ok = 1;
constexpr int Cancel = 2;

const QString Phone = QStringLiteral("emulator-5554");

QList<ViewerWindow*> viewerWindows() {
    QList<ViewerWindow*> found;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<ViewerWindow*>(widget))
            found.append(window);
    }
    return found;
}

} // namespace

class ViewWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ScriptedPhone> phone;
    std::unique_ptr<ControllerFixture> f;

    // The File menu's item `row` (0 first), reached by the keyboard.
    void chooseFromFileMenu(int row) {
        f->window->ui.fileMenu->popup(f->window->mapToGlobal(QPoint(0, 0)));
        QVERIFY(QTest::qWaitForWindowExposed(f->window->ui.fileMenu));
        for (int i = 0; i <= row; ++i)
            QTest::keyClick(f->window->ui.fileMenu, Qt::Key_Down);
        QTest::keyClick(f->window->ui.fileMenu, Qt::Key_Return);
    }
    void view(const QString& how) {
        if (how == "button") {
            QTest::mouseClick(f->window->ui.viewButton, Qt::LeftButton);
        } else if (how == "menu") {
            chooseFromFileMenu(1);
        } else {
            f->window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(f->window.get()));
            QTest::keySequence(f->window.get(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V));
        }
    }
    ViewerWindow* shownFor(const QString& serial) const {
        return f->controller->viewerWindows().windowOf(serial);
    }
    // A greeter on the phone's remembered port, so View opens without a question.
    void rememberGreeter(const LocalGreeter& greeter) {
        QVERIFY(f->settings.rememberVncPort(Phone, portOf(greeter.serverPort())).isEmpty());
    }

private Q_SLOTS:
    void init() {
        phone = std::make_unique<ScriptedPhone>(
            QJsonObject{{"package", FirstPackage}, {"running", true}});
        f = std::make_unique<ControllerFixture>(fastWaits(),
                                                QUrl(QStringLiteral("http://127.0.0.1:9")), false,
                                                phone.get(), std::nullopt);
        f->chooseAdb(QStringLiteral("/scripted/adb"));
        f->forwardsHeld = [this] { return phone->forwardListing(); };
        // The phone's forwards are scripted, so no port here is really held.
        f->localPortFree = [](TcpPort) { return true; };
    }
    void cleanup() {
        f.reset();
        phone.reset();
    }

    // By button, menu item and shortcut alike: the prompt comes prefilled the
    // first time, its port is the phone's from then on, and the viewer gets
    // the local pair's address.
    void viewAsksOnceThenRemembers_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("button") << "button";
        QTest::newRow("menu item") << "menu";
        QTest::newRow("shortcut") << "shortcut";
    }
    void viewAsksOnceThenRemembers() {
        QFETCH(QString, how);
        LocalGreeter greeter;
        QVERIFY(greeter.listen(QHostAddress::LocalHost));
        const QString port = QString::number(greeter.serverPort());
        QVERIFY(f->settings.storeViewPlace(ViewPlace::AnotherViewer).isEmpty());
        f->viewers.onPath = {"vncviewer"};
        f->desktop.answerAlert = [&](const Alert& alert) {
            qobject_cast<QLineEdit*>(alert.accessory)->setText(port);
            return Ok;
        };
        QCOMPARE(f->window->ui.actionView->shortcut(),
                 QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V));
        view(how);
        QTRY_COMPARE(f->viewers.calls.size(), 1);
        QTRY_VERIFY(!f->flowRunning());
        QCOMPARE(f->desktop.alerts.size(), 1);
        QCOMPARE(f->desktop.alerts.first().messageText,
                 QStringLiteral("Please Enter VNC Port Number"));
        QCOMPARE(f->desktop.alerts.first().accessoryText, QStringLiteral("5901"));
        QCOMPARE(f->viewers.calls, (QList<QStringList>{{"vncviewer", "localhost::" + port}}));
        QVERIFY2(
            f->consoleText().contains("\nOpened with vncviewer: vnc://localhost:" + port + "\n"),
            qPrintable(f->consoleText()));
        QTRY_COMPARE(f->window->ui.forwardsLabel->text(),
                     QStringLiteral("Forwarded: localhost:%1 and localhost:%2")
                         .arg(port)
                         .arg(port.toInt() - 100));
        QCOMPARE(f->settings.rememberedVncPort("emulator-5554"),
                 std::optional<TcpPort>(portOf(port.toInt())));

        // The phone is known now: no question, the same pair, no new forward.
        const qsizetype before = phone->invocations().size();
        view(how);
        QTRY_COMPARE(f->viewers.calls.size(), 2);
        QTRY_VERIFY(!f->flowRunning());
        QCOMPARE(f->desktop.alerts.size(), 1);
        QCOMPARE(f->viewers.calls.last(), (QStringList{"vncviewer", "localhost::" + port}));
        for (const QStringList& run : phone->invocations().mid(before))
            QVERIFY(!run.contains("forward"));
    }

    // Cancel, a blank entry and a wrong one run nothing; the wrong one is told.
    void promptTurnedDownRunsNothing_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("console");
        QTest::newRow("cancel") << "5902" << Cancel << "";
        QTest::newRow("blank") << "  " << Ok << "";
        QTest::newRow("not a port")
            << "59o1" << Ok
            << "Error: \"59o1\" is not a port number: enter a number from 1 to 65535.\n";
    }
    void promptTurnedDownRunsNothing() {
        QFETCH(QString, typed);
        QFETCH(int, answer);
        QFETCH(QString, console);
        f->desktop.answerAlert = [&](const Alert& alert) {
            qobject_cast<QLineEdit*>(alert.accessory)->setText(typed);
            return answer;
        };
        QTest::mouseClick(f->window->ui.viewButton, Qt::LeftButton);
        QTRY_VERIFY(!f->flowRunning());
        QCOMPARE(f->desktop.alerts.size(), 1);
        // The phone is found first: the question is about that phone.
        QCOMPARE(phone->invocations(), QList<QStringList>{devices()});
        QCOMPARE(f->consoleText(), "Opening the phone's screen...\nChecking Android devices...\n"
                                   "List of devices attached\nemulator-5554\tdevice\n\n" +
                                       console);
        QVERIFY(f->viewers.calls.isEmpty());
        QCOMPARE(f->settings.rememberedVncPort("emulator-5554"), std::nullopt);
    }

    // One rule for View and USB Disconnect: both are off while a flow runs,
    // and a click or the shortcut then does nothing.
    void viewIsOffWhileAFlowRuns() {
        phone->hangOn(devices());
        QTest::mouseClick(f->window->ui.startButton, Qt::LeftButton);
        QTRY_COMPARE(phone->waiting(), 1);
        for (const bool enabled :
             {f->window->ui.viewButton->isEnabled(), f->window->ui.actionView->isEnabled(),
              f->window->ui.usbDisconnectButton->isEnabled()})
            QVERIFY(!enabled);
        QTest::mouseClick(f->window->ui.viewButton, Qt::LeftButton);
        QTest::keySequence(f->window.get(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V));
        QVERIFY(f->desktop.alerts.isEmpty());
        // The listing that held the flow ends as a cancelled command does.
        phone->cancel();
        QTRY_VERIFY(f->window->ui.viewButton->isEnabled());
        QVERIFY(f->window->ui.actionView->isEnabled());
        QVERIFY(f->window->ui.usbDisconnectButton->isEnabled());
    }

    // The chosen viewer is a setting of its own; a cancelled chooser can
    // forget it, and a kept one is left as it was.
    void chooseVncViewer_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("picked");
        QTest::addColumn<int>("answer"); // to "Forget the chosen VNC viewer?"
        QTest::addColumn<QString>("after");
        QTest::addColumn<int>("questions");
        QTest::newRow("chosen") << ""
                                << "/opt/viewer/bin/myviewer" << 0 << "/opt/viewer/bin/myviewer"
                                << 0;
        QTest::newRow("another chosen") << "/usr/bin/krdc"
                                        << "/usr/bin/remmina" << 0 << "/usr/bin/remmina" << 0;
        QTest::newRow("cancelled, none chosen") << ""
                                                << "" << 0 << "" << 0;
        QTest::newRow("cancelled, kept") << "/usr/bin/krdc"
                                         << "" << 1 << "/usr/bin/krdc" << 1;
        QTest::newRow("cancelled, forgotten") << "/usr/bin/krdc"
                                              << "" << 2 << "" << 1;
    }
    void chooseVncViewer() {
        QFETCH(QString, before);
        QFETCH(QString, picked);
        QFETCH(int, answer);
        QFETCH(QString, after);
        QFETCH(int, questions);
        if (!before.isEmpty())
            QVERIFY(f->settings.storeChosenViewer(before).isEmpty());
        f->desktop.fileToChoose = picked;
        f->desktop.answerAlert = [&](const Alert&) { return answer; };
        QCOMPARE(f->window->ui.fileMenu->actions().at(2), f->window->ui.actionChooseViewer);
        QCOMPARE(f->window->ui.actionChooseViewer->text(), QStringLiteral("Choose VNC Viewer…"));
        chooseFromFileMenu(2);
        QTRY_COMPARE(f->desktop.fileChoices.size(), 1);
        QCOMPARE(f->desktop.fileChoices.first().title, QStringLiteral("Choose VNC Viewer"));
        QCOMPARE(f->desktop.alerts.size(), questions);
        QCOMPARE(f->settings.chosenViewer(), after);
        QCOMPARE(QSettings(f->settings.fileName(), QSettings::IniFormat).contains("viewer"),
                 !after.isEmpty());
    }

    // The chosen viewer is the first one View tries.
    void viewTriesTheChosenViewerFirst() {
        LocalGreeter greeter;
        QVERIFY(greeter.listen(QHostAddress::LocalHost));
        const int port = greeter.serverPort();
        QVERIFY(f->settings.rememberVncPort("emulator-5554", portOf(port)).isEmpty());
        QFile chosen(f->directory.filePath("gvncviewer"));
        QVERIFY(chosen.open(QIODevice::WriteOnly));
        chosen.close();
        QVERIFY(chosen.setPermissions(chosen.permissions() | QFile::ExeOwner));
        QVERIFY(f->settings.storeChosenViewer(chosen.fileName()).isEmpty());
        f->viewers.onPath = {"remmina"};
        QTest::mouseClick(f->window->ui.viewButton, Qt::LeftButton);
        QTRY_VERIFY(!f->flowRunning());
        QTRY_COMPARE(f->viewers.calls.size(), 1);
        QVERIFY(f->desktop.alerts.isEmpty());
        QCOMPARE(f->viewers.calls.first(),
                 (QStringList{"gvncviewer", QStringLiteral("localhost:%1").arg(port - 5900)}));
    }

    // Where View shows the screen, by the setting as stored: this program's
    // window unless the user chose otherwise, or chose an outside viewer
    // before there was a choice.
    void viewGoesWhereTheSettingSays_data() {
        QTest::addColumn<QString>("place"); // empty: never chosen
        QTest::addColumn<bool>("viewerChosen");
        QTest::addColumn<bool>("builtIn");
        QTest::newRow("nothing chosen") << "" << false << true;
        QTest::newRow("a viewer chosen before") << "" << true << false;
        QTest::newRow("this program over a chosen viewer") << "this" << true << true;
        QTest::newRow("another viewer, none chosen") << "another" << false << false;
    }
    void viewGoesWhereTheSettingSays() {
        QFETCH(QString, place);
        QFETCH(bool, viewerChosen);
        QFETCH(bool, builtIn);
        LocalGreeter greeter;
        QVERIFY(greeter.listen(QHostAddress::LocalHost));
        rememberGreeter(greeter);
        if (viewerChosen)
            QVERIFY(f->settings.storeChosenViewer(f->directory.filePath("none")).isEmpty());
        if (!place.isEmpty())
            QVERIFY(f->settings
                        .storeViewPlace(place == "this" ? ViewPlace::ThisProgram
                                                        : ViewPlace::AnotherViewer)
                        .isEmpty());
        f->viewers.onPath = {"vncviewer"};
        QTest::mouseClick(f->window->ui.viewButton, Qt::LeftButton);
        QTRY_VERIFY(!f->flowRunning());
        QCOMPARE(shownFor(Phone) != nullptr, builtIn);
        QCOMPARE(viewerWindows().size(), builtIn ? 1 : 0);
        QCOMPARE(f->viewers.calls.isEmpty(), builtIn);
    }

    // One window a phone, named as the list names the phone: a second View
    // raises it and forwards nothing; once closed, View opens a new one.
    void builtInViewIsOneWindowAPhone() {
        LocalGreeter greeter;
        QVERIFY(greeter.listen(QHostAddress::LocalHost));
        rememberGreeter(greeter);
        QTest::mouseClick(f->window->ui.viewButton, Qt::LeftButton);
        QTRY_VERIFY(!f->flowRunning());
        const QPointer<ViewerWindow> window = shownFor(Phone);
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QCOMPARE(window->windowTitle(), f->window->ui.deviceListComboBox->currentText());
        QVERIFY2(f->consoleText().endsWith(
                     QStringLiteral("\nOpened with the built-in viewer: localhost:%1\n\n")
                         .arg(greeter.serverPort())),
                 qPrintable(f->consoleText()));

        const qsizetype before = phone->invocations().size();
        view("shortcut");
        QTRY_VERIFY(!f->flowRunning());
        QCOMPARE(shownFor(Phone), window.data());
        QCOMPARE(viewerWindows(), QList<ViewerWindow*>{window.data()});
        for (const QStringList& run : phone->invocations().mid(before))
            QVERIFY2(!run.contains("forward"), qPrintable(run.join(u' ')));
        QVERIFY2(f->consoleText().endsWith("\nThe screen of emulator-5554 is open already: its "
                                           "window was brought to the front.\n\n"),
                 qPrintable(f->consoleText()));

        window->close();
        QTRY_VERIFY(window.isNull());
        QCOMPARE(shownFor(Phone), nullptr);
        QTest::mouseClick(f->window->ui.viewButton, Qt::LeftButton);
        QTRY_VERIFY(!f->flowRunning());
        QVERIFY(shownFor(Phone));
        QCOMPARE(viewerWindows().size(), 1);
        QVERIFY(f->viewers.calls.isEmpty());
    }

    // Quit takes the viewer windows with it first, by menu or by closing the
    // main window.
    void quitClosesTheViewerWindows_data() {
        QTest::addColumn<bool>("byMenu");
        QTest::newRow("Quit") << true;
        QTest::newRow("main window closed") << false;
    }
    void quitClosesTheViewerWindows() {
        QFETCH(bool, byMenu);
        LocalGreeter greeter;
        QVERIFY(greeter.listen(QHostAddress::LocalHost));
        rememberGreeter(greeter);
        QTest::mouseClick(f->window->ui.viewButton, Qt::LeftButton);
        QTRY_VERIFY(!f->flowRunning());
        const QPointer<ViewerWindow> window = shownFor(Phone);
        QVERIFY(window);
        if (byMenu)
            f->window->ui.actionQuit->trigger();
        else
            f->window->close();
        QVERIFY(!window || !window->isVisible());
        QTRY_VERIFY(window.isNull());
        QVERIFY(viewerWindows().isEmpty());
    }

    // Settings, by the platform's shortcut or the File menu: the choice shows
    // as stored (or as the default makes it), and only OK keeps a new one.
    void settingsChooseWhereViewOpens_data() {
        QTest::addColumn<bool>("byMenu");
        QTest::addColumn<bool>("viewerChosen");
        QTest::addColumn<QString>("click");
        QTest::addColumn<bool>("accept");
        QTest::addColumn<QString>("stored"); // as the file spells it; empty: no key
        QTest::newRow("another viewer, OK")
            << false << false << "viewInAnotherViewer" << true << "anotherViewer";
        QTest::newRow("this program over a chosen viewer, OK")
            << true << true << "viewInThisProgram" << true << "thisProgram";
        QTest::newRow("unchanged, OK") << false << false << "" << true << "thisProgram";
        QTest::newRow("another viewer, Cancel")
            << true << false << "viewInAnotherViewer" << false << "";
    }
    void settingsChooseWhereViewOpens() {
        QFETCH(bool, byMenu);
        QFETCH(bool, viewerChosen);
        QFETCH(QString, click);
        QFETCH(bool, accept);
        QFETCH(QString, stored);
        if (viewerChosen)
            QVERIFY(f->settings.storeChosenViewer("/usr/bin/krdc").isEmpty());
        QCOMPARE(f->window->ui.actionSettings->text(), QStringLiteral("Settings…"));
        QCOMPARE(f->window->ui.actionSettings->menuRole(), QAction::PreferencesRole);
        const QKeySequence shortcut = f->window->ui.actionSettings->shortcut();
        QVERIFY(!shortcut.isEmpty());
        if (byMenu) {
            QCOMPARE(f->window->ui.fileMenu->actions().at(3), f->window->ui.actionSettings);
            chooseFromFileMenu(3);
        } else {
            f->window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(f->window.get()));
            QTest::keySequence(f->window.get(), shortcut);
        }
        SettingsDialog* dialog = nullptr;
        QTRY_VERIFY((dialog = f->window->findChild<SettingsDialog*>()) && dialog->isVisible());
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        auto* thisProgram = dialog->findChild<QRadioButton*>("viewInThisProgram");
        auto* another = dialog->findChild<QRadioButton*>("viewInAnotherViewer");
        QVERIFY(thisProgram && another);
        QCOMPARE(another->isChecked(), viewerChosen);
        QCOMPARE(thisProgram->isChecked(), !viewerChosen);
        if (!click.isEmpty()) {
            auto* button = dialog->findChild<QRadioButton*>(click);
            QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
            QVERIFY(button->isChecked());
        }
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : dialog,
                        accept ? Qt::Key_Return : Qt::Key_Escape);
        QTRY_VERIFY(!dialog->isVisible());
        const QSettings file(f->settings.fileName(), QSettings::IniFormat);
        QCOMPARE(file.value("viewIn").toString(), stored);
    }
};

QTEST_MAIN(ViewWindowTest)
#include "test_view_window.moc"
