#include "support/ConsoleTexts.h"
#include "support/ControllerFixture.h"
#include "support/PhoneCommands.h"
#include "support/ScriptedAdb.h"

#include <QComboBox>
#include <QJsonArray>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;
using namespace ostrel::test::phone;
using namespace ostrel::test::texts;

namespace {

QJsonArray listing(const QList<QPair<QString, QString>>& devices) {
    QJsonArray lines;
    for (const auto& [serial, state] : devices)
        lines.append(QJsonArray{serial, state});
    return lines;
}

} // namespace

class DeviceDiscoveryTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ControllerFixture> f;
    std::unique_ptr<ScriptedAdb> adb;

    void attach(const QJsonObject& scenario) { attachScriptedPhone(f, adb, scenario, fastWaits()); }
    QComboBox* list() const { return f->window->ui.deviceListComboBox; }
    QStringList items() const {
        QStringList texts;
        for (int i = 0; i < list()->count(); ++i)
            texts << list()->itemText(i);
        return texts;
    }

private Q_SLOTS:
    void cleanup() {
        adb.reset();
        f.reset();
    }

    void noDeviceListsAgainUntilOneIsFound() {
        attach({{"listings", QJsonArray{listing({}), listing({{"R58M123", "device"}})}}});
        f->controller->adbDevices();
        QCOMPARE(f->consoleText(),
                 "Checking Android devices...\nList of devices attached\n\n" + NoDeviceLines);
        QCOMPARE(items(), QStringList{"No device"});
        QCOMPARE(list()->currentIndex(), 0);
        QCOMPARE(f->controller->bridge().deviceCount, 0);

        f->controller->onClearButtonClicked();
        f->controller->adbDevices();
        QCOMPARE(f->consoleText(),
                 "Checking Android devices...\nList of devices attached\nR58M123\tdevice\n\n");
        QCOMPARE(items(), QStringList{"R58M123"});
        QCOMPARE(list()->currentText(), "R58M123");
        QCOMPARE(f->controller->bridge().deviceCount, 1);

        // Found once, found for good: no further listing, no output.
        f->controller->onClearButtonClicked();
        f->controller->adbDevices();
        QCOMPARE(f->consoleText(), QString());
        QCOMPARE(adb->invocations(), (QList<QStringList>{devices(), devices()}));
    }

    void unusableDevicesAreNamedWithWhatToDo() {
        attach({{"listings",
                 QJsonArray{listing({{"AAA111", "unauthorized"}, {"BBB222", "offline"}})}}});
        QTest::mouseClick(f->window->ui.startButton, Qt::LeftButton);
        QCOMPARE(f->consoleText(),
                 "Starting Ostrel VNC Server on device...\n"
                 "Checking Android devices...\nList of devices attached\n"
                 "AAA111\tunauthorized\nBBB222\toffline\n\n" +
                     NoDeviceLines +
                     "Device AAA111 is unauthorized: unlock it, accept the USB debugging prompt "
                     "on the device, then try again.\n"
                     "Device BBB222 is offline: disconnect the USB cable and reconnect it, then "
                     "try again.\n");
        QCOMPARE(items(), QStringList{"No device"});
        QCOMPARE(adb->invocations(), QList<QStringList>{devices()});
        QCOMPARE(f->window->ui.statusLabel->text(), QString());
    }

    void severalDevicesNameTheSelectedOne() {
        attach({{"listings", QJsonArray{listing({{"AAA111", "device"}, {"BBB222", "device"}})}},
                {"package", FirstPackage}});
        QTest::mouseClick(f->window->ui.startButton, Qt::LeftButton);
        QCOMPARE(items(), (QStringList{"AAA111", "BBB222"}));
        QList<QStringList> expected{devices()};
        expected +=
            onDevice("AAA111", {launchActivity(FirstPackage), launchActivity(SecondPackage),
                                fileList(FirstPackage), runServer(FirstPackage), processList()});
        QCOMPARE(adb->invocations(), expected);
        QCOMPARE(f->window->ui.startButton->text(), "Stop Ostrel VNC Server");

        // The user's choice goes to the log only, and aims the next commands.
        const QString before = f->consoleText();
        list()->setCurrentIndex(1);
        QTest::ignoreMessage(QtInfoMsg, "comboBoxSelectionDidChange: BBB222");
        Q_EMIT list()->activated(1);
        QCOMPARE(f->consoleText(), before);

        const qsizetype runs = adb->invocations().size();
        QTest::mouseClick(f->window->ui.startButton, Qt::LeftButton);
        QCOMPARE(adb->invocations().mid(runs),
                 onDevice("BBB222",
                          {processList(), stopServer(FirstPackage), processList(), processList()}));
        QCOMPARE(f->window->ui.startButton->text(), "Start Ostrel VNC Server");
    }
};

QTEST_MAIN(DeviceDiscoveryTest)
#include "test_device_discovery.moc"
