// SPDX-License-Identifier: GPL-3.0-or-later
// The USB Connect button and its port prompt, driven by real mouse clicks: only
// a port from 1 to 65535 reaches adb, and a wrong entry is told once.
#include "support/ConsoleTexts.h"
#include "support/ControllerFixture.h"
#include "support/FakeAdbServer.h"
#include "support/PhoneCommands.h"
#include "support/ScriptedPhone.h"

#include <QJsonArray>
#include <QLineEdit>
#include <QMenu>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;
using namespace ostrel::test::phone;
using namespace ostrel::test::texts;

namespace {

constexpr int Ok = 1;
constexpr int Cancel = 2;

const QString Listing = QStringLiteral("Checking Android devices...\n"
                                       "List of devices attached\n"
                                       "emulator-5554\tdevice\n\n");

// The listed phone, named in every command that reaches it.
QList<QStringList> onPhone(const QList<QStringList>& commands) {
    return onDevice(QStringLiteral("emulator-5554"), commands);
}

QString notAPort(const QString& shown) {
    return QStringLiteral("Error: \"%1\" is not a port number: enter a number from 1 to 65535.\n")
        .arg(shown);
}

QString forwarded(int port) {
    return QString::number(port) + "\n" + VncSentence + vncLink(port);
}

QString bothForwarded(int port) {
    return SettingUp + Listing + forwarded(port) + QString::number(port - 100) + "\n" +
           WebSentence + webLink(port - 100) + nothingAnswers(port);
}

} // namespace

class UsbConnectWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ScriptedPhone> phone;
    std::unique_ptr<ControllerFixture> f;

private Q_SLOTS:
    void init() {
        phone = std::make_unique<ScriptedPhone>();
        f = std::make_unique<ControllerFixture>(
            fastWaits(), QUrl(QStringLiteral("http://127.0.0.1:9")), false, phone.get());
        f->chooseAdb(QStringLiteral("/scripted/adb"));
    }
    void cleanup() {
        f.reset();
        phone.reset();
    }

    void promptDecidesWhatRuns_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QList<QStringList>>("runs");
        QTest::addColumn<QString>("console");
        const QList<QStringList> none;
        QTest::newRow("default") << "5901" << Ok
                                 << QList<QStringList>{devices()} +
                                        onPhone({forwardNew(5901), forwardNew(5801)})
                                 << bothForwarded(5901);
        QTest::newRow("white space around")
            << " 5901 " << Ok
            << QList<QStringList>{devices()} + onPhone({forwardNew(5901), forwardNew(5801)})
            << bothForwarded(5901);
        // Text that merely begins with a port is no port: each of these once
        // forwarded the digits before the first other character.
        QTest::newRow("digits then letters") << " 5901abc" << Ok << none << notAPort(" 5901abc");
        QTest::newRow("space inside") << "69 50" << Ok << none << notAPort("69 50");
        QTest::newRow("tab inside") << "69\t50" << Ok << none << notAPort("69\uFFFD50");
        QTest::newRow("control character inside")
            << QStringLiteral("69\u000150") << Ok << none << notAPort("69\uFFFD50");
        QTest::newRow("Arabic-Indic nine")
            << QStringLiteral("6\u06F950") << Ok << none << notAPort(QStringLiteral("6\u06F950"));
        QTest::newRow("empty") << "" << Ok << none << QString();
        QTest::newRow("cancel") << "5901" << Cancel << none << QString();
        QTest::newRow("no digits") << "abc" << Ok << none << notAPort("abc");
        QTest::newRow("zero") << "0" << Ok << none << notAPort("0");
        QTest::newRow("above the range") << "65536" << Ok << none << notAPort("65536");
        QTest::newRow("wraps to 1 in 32 bits")
            << "4294967297" << Ok << none << notAPort("4294967297");
        QTest::newRow("negative") << "-5" << Ok << none << notAPort("-5");
        QTest::newRow("no web port below 1")
            << "80" << Ok << QList<QStringList>{devices()} + onPhone({forwardNew(80)})
            << SettingUp + Listing + forwarded(80) +
                   "No web port was forwarded: port 80 minus 100 is below 1.\n" +
                   nothingAnswers(80);
    }
    void promptDecidesWhatRuns() {
        QFETCH(QString, typed);
        QFETCH(int, answer);
        QFETCH(QList<QStringList>, runs);
        QFETCH(QString, console);
        f->desktop.answerAlert = [&](const Alert& alert) {
            qobject_cast<QLineEdit*>(alert.accessory)->setText(typed);
            return answer;
        };
        QTest::mouseClick(f->window->ui.usbConnectButton, Qt::LeftButton);
        QTRY_VERIFY(!f->flowRunning());
        QCOMPARE(f->desktop.alerts.size(), 1);
        QCOMPARE(f->desktop.alerts.first().accessoryText, QStringLiteral("5901"));
        QCOMPARE(phone->invocations(), runs);
        QCOMPARE(f->consoleText(), console);
        QVERIFY(f->window->ui.usbConnectButton->isEnabled());
    }
    // USB Disconnect by its button, its menu item and its shortcut: the
    // selected phone's ports are freed, another phone's stay, and the label
    // beside the status line follows the list.
    void usbDisconnectFreesTheSelectedPhonesPorts_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("button") << "button";
        QTest::newRow("menu item") << "menu";
        QTest::newRow("shortcut") << "shortcut";
    }
    void usbDisconnectFreesTheSelectedPhonesPorts() {
        QFETCH(QString, how);
        phone->setScenario(
            {{"forwards", QJsonArray{QJsonValue(QJsonArray{"R58M", "tcp:5902", "tcp:5902"})}}});
        f->forwardsHeld = [this] { return phone->forwardListing(); };
        f->desktop.answerAlert = [](const Alert&) { return Ok; };
        QTest::mouseClick(f->window->ui.usbConnectButton, Qt::LeftButton);
        QTRY_VERIFY(!f->flowRunning());
        QTRY_COMPARE(f->window->ui.forwardsLabel->text(),
                     QStringLiteral("Forwarded: localhost:5901 and localhost:5801"));
        QCOMPARE(f->window->ui.statusLabel->text(), QString());
        const qsizetype before = phone->invocations().size();

        if (how == "button") {
            QTest::mouseClick(f->window->ui.usbDisconnectButton, Qt::LeftButton);
        } else if (how == "menu") {
            f->window->ui.fileMenu->popup(f->window->mapToGlobal(QPoint(0, 0)));
            QVERIFY(QTest::qWaitForWindowExposed(f->window->ui.fileMenu));
            QCOMPARE(f->window->ui.fileMenu->actions().first(), f->window->ui.actionUsbDisconnect);
            QTest::keyClick(f->window->ui.fileMenu, Qt::Key_Down);
            QTest::keyClick(f->window->ui.fileMenu, Qt::Key_Return);
        } else {
            f->window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(f->window.get()));
            QTest::keySequence(f->window.get(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D));
        }
        QTRY_COMPARE(phone->invocations().size(), before + 3);
        QTRY_VERIFY(!f->flowRunning());
        QCOMPARE(phone->invocations().mid(before),
                 QList<QStringList>{devices()} +
                     onPhone({removeForward(5901), removeForward(5801)}));
        QVERIFY(f->consoleText().endsWith("Freed localhost:5901 and localhost:5801.\n"));
        QCOMPARE(phone->forwardListing(), QByteArray("R58M tcp:5902 tcp:5902\n"));
        QTRY_COMPARE(f->window->ui.forwardsLabel->text(), QString());
        QVERIFY(f->window->ui.usbDisconnectButton->isEnabled());
    }

    // While the list follows adb's server, USB Disconnect waits for a usable
    // phone: with only an unauthorized one its button and menu item are off,
    // and a click on it runs nothing.
    void usbDisconnectWaitsForAUsablePhone() {
        FakeAdbServer server;
        server.setDevices("R58M\tunauthorized\n");
        QVERIFY(server.listen());
        f.reset();
        f = std::make_unique<ControllerFixture>(fastWaits(),
                                                QUrl(QStringLiteral("http://127.0.0.1:9")), true,
                                                phone.get(), server.address());
        f->chooseAdb(QStringLiteral("/scripted/adb"));
        QTRY_COMPARE(f->window->ui.deviceListComboBox->itemText(0), QStringLiteral("No device"));
        // Followed, the list is the truth: no usable phone, nothing to free.
        QTRY_VERIFY(!f->window->ui.usbDisconnectButton->isEnabled());
        QVERIFY(!f->window->ui.actionUsbDisconnect->isEnabled());
        QTest::mouseClick(f->window->ui.usbDisconnectButton, Qt::LeftButton);
        QCOMPARE(phone->invocations(), QList<QStringList>());

        server.setDevices("R58M\tdevice\n");
        QTRY_VERIFY(f->window->ui.usbDisconnectButton->isEnabled());
        QVERIFY(f->window->ui.actionUsbDisconnect->isEnabled());
    }
};

QTEST_MAIN(UsbConnectWindowTest)
#include "test_usb_connect_window.moc"
