// SPDX-License-Identifier: GPL-3.0-or-later
// The server scenarios that spend real time waiting for the phone, kept apart so
// that they run beside the others.
#include "core/SiteAddresses.h"
#include "e2e/ProgramSession.h"
#include "e2e/ServerScenarioChecks.h"
#include "support/ConsoleTexts.h"
#include "support/PhoneCommands.h"
#include <QCoro/QCoroTask>

#include <QElapsedTimer>
#include <QTest>

using namespace ostrel;
using namespace ostrel::e2e;
using namespace ostrel::test::phone;
using namespace ostrel::test::texts;

class E2eServerWaitsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        ProgramSession session;
        const QString why = whyNotTheRealAdb(session);
        QVERIFY2(why.isEmpty(), qPrintable(why));
    }

    void executableExtractedAfterTheLaunch() {
        ProgramSession session;
        PhoneScenario scenario;
        scenario.executableDelaySeconds = 2;
        ATTACH_PHONE(phone, session, scenario, QStringLiteral("device"));

        session.clickStart();

        QCOMPARE(session.buttonTitle(), StopTitle);
        QCOMPARE(session.statusText(), RunningStatus);
        QCOMPARE(session.console(), Starting + listingOf(*phone) + RunningRow);
        const QList<QStringList> log = phone->commandLog();
        QVERIFY2(log.count(onPhone(fileList(FirstPackage))) >= 2, qPrintable(describe(log)));
        QCOMPARE(log.count(onPhone(runServer(FirstPackage))), 1);
    }

    // With the product's own waits: ten checks a second apart, then half a
    // second more and a last check.
    void notInstalledWithTheRealWaits() {
        ProgramSession session;
        PhoneScenario scenario;
        scenario.package = PhoneScenario::Package::None;
        ATTACH_PHONE(phone, session, scenario, QStringLiteral("device"));

        QElapsedTimer clock;
        clock.start();
        session.clickStart();
        const qint64 elapsed = clock.elapsed();
        qInfo("the not-installed start took %lld ms", elapsed);

        // The ten one-second waits and the settling half second must all have
        // been waited; how long the 26 commands took besides depends on the
        // machine's load, and only a hang is a fault here.
        QVERIFY2(elapsed >= 10500 && elapsed <= 25000,
                 qPrintable(QStringLiteral("took %1 ms").arg(elapsed)));
        QCOMPARE(session.console(), Starting + listingOf(*phone) + NotInstalled);
        QCOMPARE(session.linkTargets(), QStringList{googlePlayFrontPage().toString()});
        QCOMPARE(session.buttonTitle(), StartTitle);
        QCOMPARE(session.statusText(), QString());
        const QList<QStringList> log = phone->commandLog();
        // The probe's look before the launch, then the waits' eleven; no
        // process listing, since there is no path to look for.
        QCOMPARE(log.count(onPhone(fileList(FirstPackage))), 1 + 11);
        QCOMPARE(log.count(onPhone(fileList(SecondPackage))), 1 + 11);
        QCOMPARE(log.size(), 2 + 2 + 22);
    }

    // What the server printed is kept in a file emptied at each launch, with
    // standard error and standard output in the order they came.
    void serverThatFailsShowsWhatItPrinted() {
        Waits waits;
        waits.serverAppearLimit = std::chrono::milliseconds(1500);
        ProgramSession session(waits);
        PhoneScenario scenario;
        scenario.serverFailure = QStringLiteral("bind: Address already in use");
        ATTACH_PHONE(phone, session, scenario, QStringLiteral("device"));
        const QString printed = QStringLiteral("    bind: Address already in use\n"
                                               "    ostrelvncserver: exiting with status 1\n");

        session.clickStart();
        QCOMPARE(session.console(), Starting + listingOf(*phone) + DidNotStart + printed);
        QCOMPARE(session.buttonTitle(), StartTitle);
        QCOMPARE(session.statusText(), StoppedStatus);

        session.program().controller->onClearButtonClicked();
        session.clickStart();
        QCOMPARE(session.console(), Starting + listingOf(*phone) + DidNotStart + printed);
        QCOMPARE(phone->commandLog().count(onPhone(runServer(FirstPackage))), 2);
        QVERIFY(!listsServer(session, *phone));
    }
};

QTEST_MAIN(E2eServerWaitsTest)
#include "test_e2e_server_waits.moc"
