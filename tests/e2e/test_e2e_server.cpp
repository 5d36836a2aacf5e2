// Starting and stopping the VNC server through the real adb, against
// simulated phones.
#include "core/SiteAddresses.h"
#include "e2e/ProgramSession.h"
#include "e2e/ServerScenarioChecks.h"
#include "support/ConsoleTexts.h"
#include "support/PhoneCommands.h"
#include <QCoro/QCoroTask>

#include <QComboBox>
#include <QElapsedTimer>
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
        // No process listing before the presence check: no path is known yet.
        QList<QStringList> launchAndPresence{onPhone(launchActivity(FirstPackage)),
                                             onPhone(launchActivity(SecondPackage)),
                                             onPhone(fileList(FirstPackage))};
        if (package == SecondPackage)
            launchAndPresence << onPhone(fileList(SecondPackage));
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
        QCOMPARE(session.console(), Stopping + StoppedRow);
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
        QCOMPARE(session.console(), Starting + RunningRow);
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
        QCOMPARE(session.console(), Stopping + StoppedRow);
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

        session.program().controller->onClearButtonClicked();
        session.clickStart();
        // The probe learned nothing, so the button still offers the stop.
        QCOMPARE(session.console(), Stopping + "error: device offline\n");
        QCOMPARE(session.buttonTitle(), StopTitle);

        session.program().controller->onClearButtonClicked();
        session.clickStart();
        QCOMPARE(session.console(),
                 Stopping + listingOf({offline}) + NoDeviceLines + "Device " + serial +
                     " is offline: disconnect the USB cable and reconnect it, then try again.\n");
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
        QVERIFY2(session.console().endsWith(Starting + RunningRow), qPrintable(session.story()));
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
        QCOMPARE(session.console(), Stopping + StoppedRow);
        QCOMPARE(one->commandLog().mid(oneBefore),
                 (QList<QStringList>{onPhone(processList()), onPhone(stopServer(FirstPackage)),
                                     onPhone(processList()), onPhone(processList())}));
        QCOMPARE(other->commandLog().size(), otherBefore);
        QVERIFY(!listsServer(session, *one));
        QVERIFY(listsServer(session, *other));
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
        QCOMPARE(phone->commandLog(), (QList<QStringList>{onPhone(launchActivity(FirstPackage)),
                                                          onPhone(launchActivity(SecondPackage)),
                                                          onPhone(fileList(FirstPackage)),
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

        QCOMPARE(session.console(), Stopping + StillRunning);
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
                 Starting + listingOf(*phone, QStringLiteral("unauthorized")) + NoDeviceLines +
                     "Device " + phone->serial() +
                     " is unauthorized: unlock it, accept the USB debugging prompt on the "
                     "device, then try again.\n");
        QCOMPARE(session.buttonTitle(), StartTitle);
        QCOMPARE(session.statusText(), QString());
        QCOMPARE(phone->commandLog(), QList<QStringList>{});
    }
};

QTEST_MAIN(E2eServerTest)
#include "test_e2e_server.moc"
