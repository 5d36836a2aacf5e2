// SPDX-License-Identifier: GPL-3.0-or-later
// The window's device list following the real adb server, with simulated
// phones plugged in with `adb connect` and unplugged with `adb disconnect`.
// Each wait is up to 5 s; the delays are printed, and the one-second goal is
// judged by hand from them.
#include "core/server/AdbServerAddress.h"
#include "e2e/ProgramSession.h"
#include "support/ConsoleTexts.h"
#include "support/PhoneCommands.h"

#include <QComboBox>
#include <QProcessEnvironment>
#include <QTest>

using namespace ostrel;
using namespace ostrel::e2e;
using namespace ostrel::test::phone;
using namespace ostrel::test::texts;

namespace {

QString withModel(const SimulatedPhone& phone) {
    return QStringLiteral("KS 200 (%1)").arg(phone.serial());
}

// The silent probe: the presence check and one process listing.
const QList<QStringList> Probe{onPhone(fileList(FirstPackage)), onPhone(processList())};

} // namespace

class E2eDeviceListTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        ProgramSession session;
        const QString why = whyNotTheRealAdb(session);
        QVERIFY2(why.isEmpty(), qPrintable(why));
    }

    // A server that runs before the program starts: its phones are listed
    // with no click, and the only commands are the silent probe of the first
    // one. Two phones are attached, so a command without -s would have been
    // refused by adb and never reached a phone.
    void runningServerIsListedWithNoClick() {
        AdbServerScope scope;
        QVERIFY2(scope.problem().isEmpty(), qPrintable(scope.problem()));
        SimulatedPhone first;
        SimulatedPhone second;
        QString why;
        QVERIFY2(first.start({}, &why), qPrintable(why));
        QVERIFY2(second.start({}, &why), qPrintable(why));
        QVERIFY2(scope.connect(first, QStringLiteral("device"), &why), qPrintable(why));
        QVERIFY2(scope.connect(second, QStringLiteral("device"), &why), qPrintable(why));
        // The server lists in an order of its own; the program selects its first.
        const bool firstListedFirst =
            scope.deviceLines().value(0).startsWith(first.serial() + u'\t');
        const SimulatedPhone& selected = firstListedFirst ? first : second;
        const SimulatedPhone& other = firstListedFirst ? second : first;

        test::ControllerFixture program(
            Waits{}, QUrl(QStringLiteral("http://127.0.0.1:9")), true, nullptr,
            AdbServerAddress::fromEnvironment(QProcessEnvironment::systemEnvironment()));
        const QString instructions = program.consoleText();
        QComboBox* list = program.window->ui.deviceListComboBox;
        QTRY_COMPARE_WITH_TIMEOUT(list->count(), 2, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!program.flowRunning(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(list->itemText(0), withModel(selected), 5000);
        QCOMPARE(list->currentData().toString(), selected.serial());
        QCOMPARE(list->itemData(1).toString(), other.serial());

        QTRY_COMPARE_WITH_TIMEOUT(selected.commandLog(), Probe, 5000);
        QCOMPARE(other.commandLog(), QList<QStringList>());
        QCOMPARE(program.window->ui.statusLabel->text(), StoppedStatus);
        QCOMPARE(program.window->ui.startButton->text(), StartTitle);
        QCOMPARE(program.consoleText(), instructions);
    }

    // No server at start-up: none is started, the list says "No device" and
    // the console nothing. Phones then come and go, and a server killed and
    // started again is followed again, all with no click.
    void phonesComeAndGoWithNoClick() {
        ProgramSession session(Waits{}, true);
        QVERIFY(session.scope().problem().isEmpty());
        QTest::qWait(2500); // more than one attempt to reach a server
        QVERIFY(!session.scope().serverAnswers());
        QCOMPARE(session.deviceItems(), QStringList{QStringLiteral("No device")});
        QCOMPARE(session.console(), QString());

        // The first phone starts the server: found on the next attempt.
        ATTACH_PHONE(first, session, PhoneScenario{}, QStringLiteral("device"));
        QVERIFY2(session.waitForListing(first->serial(), true, 5000) >= 0,
                 qPrintable(session.story()));
        QTRY_COMPARE_WITH_TIMEOUT(first->commandLog(), Probe, 5000);
        QCOMPARE(session.selectedSerial(), first->serial());

        ATTACH_PHONE(second, session, PhoneScenario{}, QStringLiteral("device"));
        const qint64 plugged = session.waitForListing(second->serial());
        qInfo("plug to list: %lld ms", plugged);
        QVERIFY2(plugged >= 0, qPrintable(session.story()));
        QCOMPARE(session.selectedSerial(), first->serial());
        QCOMPARE(second->commandLog(), QList<QStringList>());

        QCOMPARE(session.scope().run({QStringLiteral("disconnect"), second->serial()}).exitCode, 0);
        const qint64 unplugged = session.waitForListing(second->serial(), false);
        qInfo("unplug to list: %lld ms", unplugged);
        QVERIFY2(unplugged >= 0, qPrintable(session.story()));
        QCOMPARE(session.console(), QString());

        QCOMPARE(session.scope().run({QStringLiteral("kill-server")}).exitCode, 0);
        QTRY_COMPARE_WITH_TIMEOUT(session.deviceItems(), QStringList{QStringLiteral("No device")},
                                  5000);
        QCOMPARE(session.console(), QString());
        QCOMPARE(session.scope().run({QStringLiteral("start-server")}).exitCode, 0);
        QString why;
        QVERIFY2(session.scope().connect(*first, QStringLiteral("device"), &why), qPrintable(why));
        const qint64 back = session.waitForListing(first->serial(), true, 5000);
        qInfo("restarted server's phone listed after %lld ms", back);
        QVERIFY2(back >= 0, qPrintable(session.story()));
        QCOMPARE(session.selectedSerial(), first->serial());
        QCOMPARE(session.console(), QString());
    }
};

QTEST_MAIN(E2eDeviceListTest)
#include "test_e2e_device_list.moc"
