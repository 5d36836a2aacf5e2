// SPDX-License-Identifier: GPL-3.0-or-later
// Starting and stopping the VNC server through the real adb, against
// simulated phones.
#include "core/SiteAddresses.h"
#include "e2e/ProgramSession.h"
#include "e2e/ServerScenarioChecks.h"
#include "support/ConsoleTexts.h"
#include "support/PhoneCommands.h"
#include "support/StandInAdb.h"
#include <QCoro/QCoroTask>

#include <QComboBox>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

using namespace ostrel;
using namespace ostrel::e2e;
using namespace ostrel::test::phone;
using namespace ostrel::test::texts;

Q_DECLARE_METATYPE(PhoneScenario)

class E2eServerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        ProgramSession session;
        const QString why = whyNotTheRealAdb(session);
        QVERIFY2(why.isEmpty(), qPrintable(why));
    }

    void firstStart_data() {
        QTest::addColumn<PhoneScenario>("scenario");
        QTest::addColumn<QString>("package");
        QTest::newRow("first package") << PhoneScenario{} << FirstPackage;
        PhoneScenario second;
        second.package = PhoneScenario::Package::Second;
        QTest::newRow("second package") << second << SecondPackage;
        // Everything on standard output through a pty, lines ending "\r\n",
        // exit status always 0.
        PhoneScenario old;
        old.shellV2 = false;
        QTest::newRow("phone without shell_v2") << old << FirstPackage;
    }
    void firstStart() {
        QFETCH(PhoneScenario, scenario);
        QFETCH(QString, package);
        ProgramSession session;
        ATTACH_PHONE(phone, session, scenario, QStringLiteral("device"));

        session.clickStart();

        QCOMPARE(session.buttonTitle(), StopTitle);
        QCOMPARE(session.statusText(), RunningStatus);
        QCOMPARE(session.console(), Starting + listingOf(*phone) + RunningRow);
        // The path is looked for before anything is launched, so that only
        // the package found is launched.
        QList<QStringList> presence{onPhone(fileList(FirstPackage))};
        if (package == SecondPackage)
            presence << onPhone(fileList(SecondPackage));
        const QList<QStringList> launchAndPresence =
            presence +
            QList<QStringList>{onPhone(processList()), onPhone(launchActivity(package))} + presence;
        QVERIFY2(isStartOf(phone->commandLog(), launchAndPresence, package),
                 qPrintable(describe(phone->commandLog())));
        QVERIFY(listsServer(session, *phone));
    }

    void stopThenStartAgain() {
        ProgramSession session;
        ATTACH_PHONE(phone, session, PhoneScenario{}, QStringLiteral("device"));
        session.clickStart();
        QCOMPARE(session.buttonTitle(), StopTitle);

        const qsizetype beforeStop = phone->commandLog().size();
        session.program().controller->onClearButtonClicked();
        session.clickStart();

        QCOMPARE(session.buttonTitle(), StartTitle);
        QCOMPARE(session.statusText(), StoppedStatus);
        QCOMPARE(session.console(), Stopping + listingOf(*phone) + StoppedRow);
        // The stop request worked, so no kill was needed.
        QCOMPARE(phone->commandLog().mid(beforeStop),
                 (QList<QStringList>{onPhone(processList()), onPhone(stopServer(FirstPackage)),
                                     onPhone(processList()), onPhone(processList())}));
        QVERIFY(!listsServer(session, *phone));

        const qsizetype beforeRestart = phone->commandLog().size();
        session.program().controller->onClearButtonClicked();
        session.clickStart();

        QCOMPARE(session.buttonTitle(), StopTitle);
        QCOMPARE(session.statusText(), RunningStatus);
        QCOMPARE(session.console(), Starting + listingOf(*phone) + RunningRow);
        // The package is known now: only its activity is launched.
        const QList<QStringList> launchAndPresence{onPhone(processList()),
                                                   onPhone(launchActivity(FirstPackage)),
                                                   onPhone(fileList(FirstPackage))};
        QVERIFY2(isStartOf(phone->commandLog().mid(beforeRestart), launchAndPresence, FirstPackage),
                 qPrintable(describe(phone->commandLog().mid(beforeRestart))));
        QVERIFY(listsServer(session, *phone));
    }

    // The kill's exit status and its adb client ending with 137 must not
    // upset the stop.
    void serverThatIgnoresStopIsKilled() {
        ProgramSession session;
        PhoneScenario scenario;
        scenario.ignoreStop = true;
        ATTACH_PHONE(phone, session, scenario, QStringLiteral("device"));
        session.clickStart();
        QCOMPARE(session.buttonTitle(), StopTitle);
        const int pid = serverPid(session, *phone);
        QVERIFY(pid > 0);

        const qsizetype beforeStop = phone->commandLog().size();
        session.program().controller->onClearButtonClicked();
        session.clickStart();

        QCOMPARE(session.buttonTitle(), StartTitle);
        QCOMPARE(session.statusText(), StoppedStatus);
        QCOMPARE(session.console(), Stopping + listingOf(*phone) + StoppedRow);
        QCOMPARE(phone->commandLog().mid(beforeStop),
                 (QList<QStringList>{onPhone(processList()), onPhone(stopServer(FirstPackage)),
                                     onPhone(processList()), onPhone(killServer(pid)),
                                     onPhone(processList())}));
        QVERIFY(!listsServer(session, *phone));
    }

    // The phone went away while the server ran: adb lists it as offline.
    void phoneGoneBeforeTheStop() {
        ProgramSession session;
        ATTACH_PHONE(phone, session, PhoneScenario{}, QStringLiteral("device"));
        session.clickStart();
        QCOMPARE(session.buttonTitle(), StopTitle);
        const QString serial = phone->serial(); // the phone forgets its port when it stops
        const QString offline = serial + QStringLiteral("\toffline");
        phone->stop();
        QTRY_COMPARE_WITH_TIMEOUT(session.scope().deviceLines(), QStringList{offline}, 10000);

        // Each press lists anew, so the offline phone is told apart before
        // any command could be aimed at it.
        const QString gone =
            listingOf({offline}) + "Device " + serial +
            " is offline: disconnect the USB cable and reconnect it, then try again.\n" +
            NoDeviceLines;
        session.program().controller->onClearButtonClicked();
        session.clickStart();
        QCOMPARE(session.console(), Stopping + gone);
        QCOMPARE(
            shownDevices(session.program().window->ui.deviceListComboBox),
            (QList<std::pair<QString, bool>>{{QStringLiteral("No device"), true},
                                             {serial + QStringLiteral(" \u2014 offline"), false}}));
        // With no usable phone selected the next press starts, so the button
        // should no longer offer the gone phone's stop.
        QCOMPARE(session.buttonTitle(), StartTitle);

        session.program().controller->onClearButtonClicked();
        session.clickStart();
        QCOMPARE(session.console(), Starting + gone);
    }

    // The button, the status line and every command follow the phone chosen
    // in the list; the phones' own logs show which one each command reached.
    void eachOfTwoPhonesIsStartedAndStoppedWhenChosen() {
        ProgramSession session;
        ATTACH_PHONE(first, session, PhoneScenario{}, QStringLiteral("device"));
        PhoneScenario otherModel;
        otherModel.product = QStringLiteral("merlin");
        otherModel.model = QStringLiteral("MR_9");
        ATTACH_PHONE(second, session, otherModel, QStringLiteral("device"));
        session.clickStart(); // on the phone adb lists first
        QComboBox* devices = session.program().window->ui.deviceListComboBox;
        QCOMPARE(devices->count(), 2);
        SimulatedPhone* one = devices->itemText(0) == first->serial() ? first : second;
        SimulatedPhone* other = one == first ? second : first;
        QCOMPARE(session.buttonTitle(), StopTitle);
        QCOMPARE(other->commandLog(), QList<QStringList>{});
        QVERIFY(listsServer(session, *one));

        // Chosen with the arrow key: looked at without a word, and the list
        // keeps the focus for the next key.
        session.program().controller->onClearButtonClicked();
        QVERIFY(focusOn(devices));
        QTest::keyClick(devices, Qt::Key_Down);
        session.waitForTheFlow();
        QCOMPARE(devices->currentText(), other->serial());
        QCOMPARE(session.buttonTitle(), StartTitle);
        QCOMPARE(session.statusText(), StoppedStatus);
        QCOMPARE(session.console(), QString());
        QCOMPARE(other->commandLog(),
                 (QList<QStringList>{onPhone(fileList(FirstPackage)), onPhone(processList())}));
        QVERIFY(devices->hasFocus());

        session.clickStart();
        QCOMPARE(session.buttonTitle(), StopTitle);
        QCOMPARE(session.statusText(), RunningStatus);
        const QString bothListed = listingOf({one->serial() + QStringLiteral("\tdevice"),
                                              other->serial() + QStringLiteral("\tdevice")});
        QCOMPARE(session.console(), Starting + bothListed + RunningRow);
        // The probe found the path, so only the package found is launched.
        const QList<QStringList> launchAndPresence{onPhone(processList()),
                                                   onPhone(launchActivity(FirstPackage)),
                                                   onPhone(fileList(FirstPackage))};
        QVERIFY2(isStartOf(other->commandLog().mid(2), launchAndPresence, FirstPackage),
                 qPrintable(describe(other->commandLog())));
        QVERIFY(listsServer(session, *other));

        session.program().controller->onClearButtonClicked();
        QVERIFY(focusOn(devices));
        qsizetype oneBefore = one->commandLog().size();
        QTest::keyClick(devices, Qt::Key_Up);
        session.waitForTheFlow();
        QCOMPARE(devices->currentText(), one->serial());
        QCOMPARE(session.buttonTitle(), StopTitle);
        QCOMPARE(session.statusText(), RunningStatus);
        QCOMPARE(session.console(), QString());
        QCOMPARE(one->commandLog().mid(oneBefore), QList<QStringList>{onPhone(processList())});
        QVERIFY(devices->hasFocus());

        oneBefore = one->commandLog().size();
        const qsizetype otherBefore = other->commandLog().size();
        session.clickStart();
        QCOMPARE(session.buttonTitle(), StartTitle);
        QCOMPARE(session.console(), Stopping + bothListed + StoppedRow);
        QCOMPARE(one->commandLog().mid(oneBefore),
                 (QList<QStringList>{onPhone(processList()), onPhone(stopServer(FirstPackage)),
                                     onPhone(processList()), onPhone(processList())}));
        QCOMPARE(other->commandLog().size(), otherBefore);
        QVERIFY(!listsServer(session, *one));
        QVERIFY(listsServer(session, *other));
    }

    // Phone A leaves and phone B, its server running, takes its place while
    // the program idles: the list says A has gone and selects B, whose silent
    // probe puts its state on the button and the status line before any
    // click, so that no Stop meant for A can reach B.
    void swappedPhoneIsNotStopped() {
        ProgramSession session(Waits{}, true);
        ATTACH_PHONE(first, session, PhoneScenario{}, QStringLiteral("device"));
        QVERIFY2(session.waitForListing(first->serial()) >= 0, qPrintable(session.story()));
        session.clickStart();
        QCOMPARE(session.buttonTitle(), StopTitle);
        const QString gone = first->serial();
        const qsizetype firstBefore = first->commandLog().size();
        session.program().controller->onClearButtonClicked();
        session.scope().run({QStringLiteral("disconnect"), gone});
        PhoneScenario running;
        running.alreadyRunning = true;
        ATTACH_PHONE(second, session, running, QStringLiteral("device"));
        QVERIFY2(session.waitForListing(gone, false) >= 0, qPrintable(session.story()));
        QVERIFY2(session.waitForListing(second->serial()) >= 0, qPrintable(session.story()));
        QTRY_COMPARE_WITH_TIMEOUT(session.selectedSerial(), second->serial(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!session.program().flowRunning(), 5000);

        QVERIFY2(session.console().startsWith("Device " + gone + " is no longer attached.\n"),
                 qPrintable(session.console()));
        QVERIFY(!session.console().contains("Checking Android devices"));
        QCOMPARE(first->commandLog().size(), firstBefore);
        // Only the silent probe of the phone now selected reached it.
        QTRY_COMPARE_WITH_TIMEOUT(
            second->commandLog(),
            (QList<QStringList>{onPhone(fileList(FirstPackage)), onPhone(processList())}), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(session.buttonTitle(), StopTitle, 5000);
        QCOMPARE(session.statusText(), RunningStatus);
        QVERIFY(listsServer(session, *second));
    }

    // A phone this user may not open must not be taken for a usable one, and
    // a wireless serial is used whole, spaces and all.
    void listingLinesAreReadAsAdbWritesThem() {
        Waits quick;
        quick.presenceRetry = std::chrono::milliseconds(10);
        quick.settle = std::chrono::milliseconds(10);
        ProgramSession session(quick);
        const QTemporaryDir directory;
        test::StandInAdb adb(directory.filePath(QStringLiteral("adb")));
        const QString denied = QStringLiteral("0123456789ABCDEF");
        const QString wireless =
            QStringLiteral("adb-14141FDF600081-QXjCrW (2)._adb-tls-connect._tcp");
        adb.setStandardOutput("List of devices attached\n" + denied.toUtf8() +
                              "\tno permissions (missing udev rules? user is in the plugdev "
                              "group); see [http://developer.android.com/tools/device.html]\n" +
                              wireless.toUtf8() + "\tdevice\n\n");
        session.program().chooseAdb(adb.path());

        session.clickStart();

        QComboBox* devices = session.program().window->ui.deviceListComboBox;
        // Items follow adb's order; the unusable phone cannot be chosen.
        QCOMPARE(
            shownDevices(devices),
            (QList<std::pair<QString, bool>>{
                {denied + QStringLiteral(" \u2014 no permissions"), false}, {wireless, true}}));
        QCOMPARE(devices->currentText(), wireless);
        const QList<QStringList> invocations = adb.invocations();
        QVERIFY2(invocations.contains(QStringList{QStringLiteral("devices")}),
                 qPrintable(describe(invocations)));
        for (const QStringList& invocation : invocations) {
            if (invocation != QStringList{QStringLiteral("devices")})
                QVERIFY2(invocation.mid(0, 2) == (QStringList{QStringLiteral("-s"), wireless}),
                         qPrintable(describe(invocations)));
        }
        QVERIFY2(invocations.contains(onDevice(wireless, {launchActivity(FirstPackage)}).first()),
                 qPrintable(describe(invocations)));
    }

    void refusedListingIsNotTakenForAMissingApp() {
        ProgramSession session;
        PhoneScenario scenario;
        scenario.listingDenied = true;
        ATTACH_PHONE(phone, session, scenario, QStringLiteral("device"));

        session.clickStart();

        QCOMPARE(session.console(), Starting + listingOf(*phone) +
                                        "ls: " + executableOf(FirstPackage) +
                                        ": Permission denied\nls: " + executableOf(SecondPackage) +
                                        ": Permission denied\n" + FilesNotChecked);
        QCOMPARE(session.linkTargets(), QStringList{});
        QCOMPARE(session.buttonTitle(), StartTitle);
        QCOMPARE(session.statusText(), QString());
        // Nothing is launched while the app's presence cannot be told.
        QCOMPARE(phone->commandLog(), (QList<QStringList>{onPhone(fileList(FirstPackage)),
                                                          onPhone(fileList(SecondPackage))}));
    }

    void serverThatSurvivesTheKillStaysOnStop() {
        ProgramSession session;
        PhoneScenario scenario;
        scenario.ignoreStop = true;
        scenario.survivesKill = true;
        ATTACH_PHONE(phone, session, scenario, QStringLiteral("device"));
        session.clickStart();
        QCOMPARE(session.buttonTitle(), StopTitle);
        const int pid = serverPid(session, *phone);
        QVERIFY(pid > 0);

        const qsizetype beforeStop = phone->commandLog().size();
        session.program().controller->onClearButtonClicked();
        session.clickStart();

        QCOMPARE(session.console(), Stopping + listingOf(*phone) + StillRunning);
        QCOMPARE(session.buttonTitle(), StopTitle);
        QCOMPARE(session.statusText(), RunningStatus);
        QCOMPARE(phone->commandLog().mid(beforeStop),
                 (QList<QStringList>{onPhone(processList()), onPhone(stopServer(FirstPackage)),
                                     onPhone(processList()), onPhone(killServer(pid)),
                                     onPhone(processList())}));
        QVERIFY(listsServer(session, *phone));
    }

    // The program's first command starts adb's server, which prints on
    // standard error and must not hold up the command that started it.
    void firstCommandStartsAdbsServer() {
        ProgramSession session;
        QVERIFY(!session.scope().serverAnswers());

        QElapsedTimer clock;
        clock.start();
        session.clickStart();

        QVERIFY2(clock.elapsed() < 10000,
                 qPrintable(QStringLiteral("took %1 ms").arg(clock.elapsed())));
        QCOMPARE(session.console(), Starting + listingOf(QStringList{}) + NoDeviceLines);
        QVERIFY(session.scope().serverAnswers());
    }

    void unauthorizedPhoneIsExplained() {
        ProgramSession session;
        PhoneScenario scenario;
        scenario.unauthorized = true;
        ATTACH_PHONE(phone, session, scenario, QStringLiteral("unauthorized"));

        session.clickStart();

        QCOMPARE(session.console(),
                 Starting + listingOf(*phone, QStringLiteral("unauthorized")) + "Device " +
                     phone->serial() +
                     " is unauthorized: unlock it, accept the USB debugging prompt on the "
                     "device, then try again.\n" +
                     NoDeviceLines);
        QCOMPARE(session.buttonTitle(), StartTitle);
        QCOMPARE(session.statusText(), QString());
        QCOMPARE(phone->commandLog(), QList<QStringList>{});
    }
};

QTEST_MAIN(E2eServerTest)
#include "test_e2e_server.moc"
