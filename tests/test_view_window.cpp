// SPDX-License-Identifier: GPL-3.0-or-later
// View and Choose VNC Viewer in the real window, by mouse and keyboard: the
// first View on a phone asks for its port, the next ones remember it, and
// View is switched off whenever USB Disconnect is.
#include "support/ControllerFixture.h"
#include "support/LocalGreeter.h"
#include "support/PhoneCommands.h"
#include "support/ScriptedPhone.h"
#include "support/TestPorts.h"

#include <QLineEdit>
#include <QMenu>
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
};

QTEST_MAIN(ViewWindowTest)
#include "test_view_window.moc"
