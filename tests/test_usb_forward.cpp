#include "support/ConsoleTexts.h"
#include "support/ControllerFixture.h"
#include "support/PhoneCommands.h"
#include "support/ScriptedAdb.h"

#include <QJsonArray>
#include <QLineEdit>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>

using namespace ostrel;
using namespace ostrel::test;
using namespace ostrel::test::phone;
using namespace ostrel::test::texts;

namespace {

const QString Listing = QStringLiteral("Checking Android devices...\n"
                                       "List of devices attached\n"
                                       "emulator-5554\tdevice\n\n");
const QString Refusal =
    QStringLiteral("adb: error: cannot bind listener: Address already in use\n");

// Every link target in the console, in order.
QStringList linkTargets(const QTextBrowser* view) {
    QStringList targets;
    for (QTextBlock block = view->document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.isAnchor())
                targets << format.anchorHref();
        }
    }
    return targets;
}

} // namespace

class UsbForwardTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ControllerFixture> f;
    std::unique_ptr<ScriptedAdb> adb;

    void attach(const QJsonObject& scenario) { attachScriptedPhone(f, adb, scenario, fastWaits()); }
    void answerPrompt(const QString& text, int button) {
        f->desktop.answerAlert = [text, button](const Alert& alert) {
            if (auto* field = qobject_cast<QLineEdit*>(alert.accessory))
                field->setText(text);
            return button;
        };
    }
    void connect() { QTest::mouseClick(f->window->ui.usbConnectButton, Qt::LeftButton); }

private Q_SLOTS:
    void cleanup() {
        adb.reset();
        f.reset();
    }

    void defaultPortForwardsVncAndWebPorts() {
        attach({});
        connect();
        QCOMPARE(f->desktop.alerts.size(), 1);
        const FakeDesktop::ShownAlert& prompt = f->desktop.alerts.first();
        QCOMPARE(prompt.messageText, "Please Enter VNC Port Number");
        QCOMPARE(prompt.informativeText, "Use the same port number as displayed on device");
        QCOMPARE(prompt.buttons, (QStringList{"OK", "Cancel"}));
        QCOMPARE(prompt.accessoryText, "5901");
        QVERIFY(prompt.accessoryHadFocus);

        QCOMPARE(adb->invocations(), (QList<QStringList>{devices(), forward(5901), forward(5801)}));
        // A working forward prints its port, which the console shows.
        QCOMPARE(f->consoleText(), SettingUp + Listing + "5901\n" + VncSentence + vncLink(5901) +
                                       "5801\n" + WebSentence + webLink(5801));
        QCOMPARE(linkTargets(f->window->ui.textView),
                 (QStringList{"vnc://localhost:5901", "http://localhost:5801"}));
        QVERIFY(f->controller->bridge().forwardEstablished);
    }

    void portText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("button");
        QTest::addColumn<QList<QStringList>>("forwards");
        QTest::newRow("digits then letters")
            << "5902vnc" << 1 << QList<QStringList>{forward(5902), forward(5802)};
        QTest::newRow("leading space")
            << " 5903" << 1 << QList<QStringList>{forward(5903), forward(5803)};
        QTest::newRow("port 50 gives a negative web port")
            << "50" << 1 << QList<QStringList>{forward(50), forward(-50)};
        QTest::newRow("no digits") << "vnc" << 1 << QList<QStringList>{};
        QTest::newRow("zero") << "0" << 1 << QList<QStringList>{};
        QTest::newRow("empty") << "" << 1 << QList<QStringList>{};
        QTest::newRow("cancel") << "5901" << 2 << QList<QStringList>{};
    }
    void portText() {
        QFETCH(QString, text);
        QFETCH(int, button);
        QFETCH(QList<QStringList>, forwards);
        attach({});
        answerPrompt(text, button);
        connect();
        if (forwards.isEmpty()) {
            QCOMPARE(f->consoleText(), QString());
            QCOMPARE(adb->invocations(), QList<QStringList>{});
        } else {
            QCOMPARE(adb->invocations(), QList<QStringList>{devices()} + forwards);
            QVERIFY(f->consoleText().startsWith(SettingUp));
        }
    }

    void refusedOrSilentForwards_data() {
        QTest::addColumn<QJsonObject>("scenario");
        QTest::addColumn<QString>("console");
        QTest::addColumn<bool>("established");
        QTest::newRow("VNC port refused")
            << QJsonObject{{"refusedPorts", QJsonArray{5901}}}
            << Refusal + "5801\n" + WebSentence + webLink(5801) << true;
        QTest::newRow("web port refused")
            << QJsonObject{{"refusedPorts", QJsonArray{5801}}}
            << "5901\n" + VncSentence + vncLink(5901) + Refusal << false;
        QTest::newRow("older adb prints nothing on success")
            << QJsonObject{{"silentForward", true}}
            << VncSentence + vncLink(5901) + WebSentence + webLink(5801) << true;
    }
    void refusedOrSilentForwards() {
        QFETCH(QJsonObject, scenario);
        QFETCH(QString, console);
        QFETCH(bool, established); // what Quit reads to keep adb's server and its forwards
        attach(scenario);
        connect();
        QCOMPARE(adb->invocations(), (QList<QStringList>{devices(), forward(5901), forward(5801)}));
        QCOMPARE(f->consoleText(), SettingUp + Listing + console);
        QCOMPARE(f->controller->bridge().forwardEstablished, established);

        // Either forward that works keeps adb's server, which holds it, past Quit.
        f->window->ui.actionQuit->trigger();
        QTest::qWait(300);
        QVERIFY(!adb->invocations().contains(QStringList{"kill-server"}));
    }

    void quitStopsAdbWhenNoForwardWorked() {
        attach({{"refusedPorts", QJsonArray{5901, 5801}}});
        connect();
        QVERIFY(!f->controller->bridge().forwardEstablished);
        f->window->ui.actionQuit->trigger();
        QTRY_VERIFY(adb->invocations().contains(QStringList{"kill-server"}));
        QCOMPARE(f->desktop.quitCount, 1);
    }

    void noDeviceRunsNoForward() {
        attach({{"listings", QJsonArray{QJsonArray{}}}});
        connect();
        QCOMPARE(adb->invocations(), QList<QStringList>{devices()});
        QCOMPARE(f->consoleText(),
                 SettingUp +
                     "Checking Android devices...\nList of devices attached\n\n"
                     "Error: no android device is connected.\n"
                     "Please disconnect your device and reconnect it, then press the above Start "
                     "Ostrel VNC Server button again.\n");
    }

    void deviceGoneEndsTheForwards() {
        attach({{"goneFrom", 2}});
        connect();
        QCOMPARE(adb->invocations(), (QList<QStringList>{devices(), forward(5901)}));
        QCOMPARE(f->consoleText(), SettingUp + Listing + "error: no devices/emulators found\n");
        QVERIFY(!f->controller->bridge().forwardEstablished);
        QCOMPARE(f->controller->bridge().deviceCount, 0);
    }
};

QTEST_MAIN(UsbForwardTest)
#include "test_usb_forward.moc"
