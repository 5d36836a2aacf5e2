#include "support/ConsoleTexts.h"
#include "support/ControllerFixture.h"
#include "support/PhoneCommands.h"
#include "support/ScriptedAdb.h"

#include <QJsonArray>
#include <QLabel>
#include <QTest>
#include <QTextBrowser>

using namespace ostrel;
using namespace ostrel::test;
using namespace ostrel::test::phone;
using namespace ostrel::test::texts;

namespace {

const QString OneDeviceListing = QStringLiteral("Checking Android devices...\n"
                                                "List of devices attached\n"
                                                "emulator-5554\tdevice\n\n");

// Generous enough that a launched server is always seen by its first listing.
Waits flowWaits() {
    Waits waits = fastWaits();
    waits.serverAppearLimit = std::chrono::milliseconds(3000);
    return waits;
}

QList<QStringList> firstStart(const QString& package) {
    QList<QStringList> runs{devices(), launchActivity(FirstPackage), launchActivity(SecondPackage),
                            fileList(FirstPackage)};
    if (package == SecondPackage)
        runs << fileList(SecondPackage);
    runs << runServer(package) << processList();
    return runs;
}

} // namespace

class ServerLifecycleTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ControllerFixture> f;
    std::unique_ptr<ScriptedAdb> adb;

    void attach(const QJsonObject& scenario, Waits waits = flowWaits()) {
        attachScriptedPhone(f, adb, scenario, waits);
    }
    void click() { QTest::mouseClick(f->window->ui.startButton, Qt::LeftButton); }
    // The runs of the last action alone.
    QList<QStringList> runsSince(qsizetype before) const { return adb->invocations().mid(before); }
    void verifyShown(bool running) {
        QPushButton* button = f->window->ui.startButton;
        QLabel* status = f->window->ui.statusLabel;
        QCOMPARE(button->text(), running ? StopTitle : StartTitle);
        QCOMPARE(button->accessibleName(), button->text());
        QCOMPARE(status->text(), running ? RunningStatus : StoppedStatus);
        const QColor colour = running ? QColor::fromRgbF(115 / 255., 200 / 255., 30 / 255.)
                                      : QColor::fromRgbF(240 / 255., 115 / 255., 30 / 255.);
        QCOMPARE(status->palette().color(QPalette::WindowText), colour);
    }
    void verifyNothingShown() {
        QCOMPARE(f->window->ui.startButton->text(), StartTitle);
        QCOMPARE(f->window->ui.statusLabel->text(), QString());
    }

private Q_SLOTS:
    void cleanup() {
        adb.reset();
        f.reset();
    }

    void firstStartFindsTheServer_data() {
        QTest::addColumn<QString>("package");
        QTest::newRow("first package") << FirstPackage;
        QTest::newRow("second package only") << SecondPackage;
    }
    void firstStartFindsTheServer() {
        QFETCH(QString, package);
        attach({{"package", package}});
        click();
        QCOMPARE(adb->invocations(), firstStart(package));
        QCOMPARE(f->consoleText(), Starting + OneDeviceListing + RunningRow);
        verifyShown(true);
        QCOMPARE(QString::fromUtf8(f->controller->bridge().serverPackage), package);
    }

    void aStopThenAStartLaunchOnlyTheKnownPackage() {
        attach({{"package", SecondPackage}});
        click();
        qsizetype before = adb->invocations().size();
        click(); // the stop request works
        QCOMPARE(runsSince(before), (QList<QStringList>{processList(), stopServer(SecondPackage),
                                                        processList(), processList()}));
        verifyShown(false);
        before = adb->invocations().size();
        click();
        QCOMPARE(runsSince(before),
                 (QList<QStringList>{processList(), launchActivity(SecondPackage),
                                     fileList(FirstPackage), fileList(SecondPackage),
                                     runServer(SecondPackage), processList()}));
        QCOMPARE(f->consoleText(), Starting + OneDeviceListing + RunningRow + Stopping +
                                       StoppedRow + Starting + RunningRow);
        verifyShown(true);
    }

    void executableThatAppearsLateIsWaitedFor() {
        attach({{"package", FirstPackage}, {"presentFrom", 3}});
        click();
        QList<QStringList> expected{devices(), launchActivity(FirstPackage),
                                    launchActivity(SecondPackage)};
        for (int attempt = 0; attempt < 2; ++attempt)
            expected << fileList(FirstPackage) << fileList(SecondPackage);
        expected << fileList(FirstPackage) << runServer(FirstPackage) << processList();
        QCOMPARE(adb->invocations(), expected);
        verifyShown(true);
    }

    void appNotInstalled() {
        attach({{"package", QJsonValue::Null}});
        click();
        QList<QStringList> expected{devices(), launchActivity(FirstPackage),
                                    launchActivity(SecondPackage)};
        for (int check = 0; check < 11; ++check)
            expected << fileList(FirstPackage) << fileList(SecondPackage);
        QCOMPARE(adb->invocations(), expected);
        QCOMPARE(f->consoleText(), Starting + OneDeviceListing + NotInstalled);
        QVERIFY(f->window->ui.textView->toHtml().contains(googlePlayFrontPage().toString()));
        verifyNothingShown();
        QCOMPARE(f->controller->bridge().serverPath[0], '\0');
        QCOMPARE(f->controller->bridge().serverPackage[0], '\0');
    }

    void retiredBuildIsLaunchedButNotShown() {
        attach({{"package", FirstPackage}, {"size", 420556}});
        click();
        // Nothing waits for the launch, so it may be logged a little later.
        QTRY_COMPARE(adb->invocations(),
                     (QList<QStringList>{devices(), launchActivity(FirstPackage),
                                         launchActivity(SecondPackage), fileList(FirstPackage),
                                         runServer(FirstPackage)}));
        QCOMPARE(f->consoleText(), Starting + OneDeviceListing +
                                       "Error: This version of Ostrel VNC Server is no longer "
                                       "supported.\nPlease update the app on your device from "
                                       "Google Play.\n\n");
        verifyNothingShown();
    }

    void updatedAppIsNoLongerTakenForRetired() {
        attach({{"package", FirstPackage}, {"size", 2000000}});
        f->controller->bridge().serverUnsupported = true; // an earlier start met a retired build
        click();
        QCOMPARE(f->consoleText(), Starting + OneDeviceListing + RunningRow);
        verifyShown(true);
    }

    void serverThatShowsLateIsPolledFor() {
        attach({{"package", FirstPackage}, {"appearAfter", 3}});
        click();
        QCOMPARE(adb->invocations(), firstStart(FirstPackage) << processList() << processList());
        verifyShown(true);
    }

    void serverThatNeverShowsGivesTheStoppedRowThenIsFoundRunning() {
        Waits waits = fastWaits();
        waits.serverAppearLimit = std::chrono::milliseconds(200);
        attach({{"package", FirstPackage}, {"appearAfter", 1000000}}, waits);
        click();
        // Listed until the limit ran out; how often depends on how fast the phone answers.
        const QList<QStringList> start = firstStart(FirstPackage);
        const QList<QStringList> runs = adb->invocations();
        QCOMPARE(runs.mid(0, start.size()), start);
        for (const QStringList& run : runs.mid(start.size()))
            QCOMPARE(run, processList());
        QCOMPARE(f->consoleText(), Starting + OneDeviceListing + StoppedRow);
        verifyShown(false);

        // Later it does show: the next start only looks and reports it.
        adb->setScenario({{"package", FirstPackage}, {"appearAfter", 0}});
        const qsizetype before = adb->invocations().size();
        click();
        QCOMPARE(runsSince(before), (QList<QStringList>{processList(), processList()}));
        QVERIFY(f->consoleText().endsWith(StoppedRow + Starting + RunningRow));
        verifyShown(true);
    }

    void stop_data() {
        QTest::addColumn<bool>("stopWorks");
        QTest::addColumn<bool>("killWorks");
        QTest::addColumn<int>("pid");
        QTest::addColumn<QList<QStringList>>("runs");
        QTest::addColumn<bool>("stillRunning");
        QTest::newRow("stop request works")
            << true << true << 4321
            << QList<QStringList>{processList(), stopServer(FirstPackage), processList(),
                                  processList()}
            << false;
        QTest::newRow("stop needs the kill")
            << false << true << 4321
            << QList<QStringList>{processList(), stopServer(FirstPackage), processList(),
                                  killServer(4321), processList()}
            << false;
        QTest::newRow("kill refused: the flow goes on and shows it running")
            << false << false << 4321
            << QList<QStringList>{processList(), stopServer(FirstPackage), processList(),
                                  killServer(4321), processList()}
            << true;
        QTest::newRow("no process id: nothing to stop")
            << true << true << 0 << QList<QStringList>{processList(), processList()} << true;
    }
    void stop() {
        QFETCH(bool, stopWorks);
        QFETCH(bool, killWorks);
        QFETCH(int, pid);
        QFETCH(QList<QStringList>, runs);
        QFETCH(bool, stillRunning);
        attach({{"package", FirstPackage},
                {"stopWorks", stopWorks},
                {"killWorks", killWorks},
                {"pid", pid}});
        click();
        verifyShown(true);
        const qsizetype before = adb->invocations().size();
        click();
        QCOMPARE(runsSince(before), runs);
        QCOMPARE(f->consoleText(), Starting + OneDeviceListing + RunningRow + Stopping +
                                       (stillRunning ? RunningRow : StoppedRow));
        verifyShown(stillRunning);
    }

    void clickChoosesByTheLastProbeNotTheTitle() {
        attach({{"package", FirstPackage}, {"running", true}});
        click(); // finds and launches; the server runs
        f->window->ui.startButton->setText(StartTitle);
        click();
        QVERIFY(f->consoleText().endsWith(Stopping + StoppedRow));
    }

    void deviceGoneMidFlowEndsItAndListsAgain() {
        attach({{"package", FirstPackage}, {"goneFrom", 4}}); // gone at the first file listing
        click();
        QCOMPARE(adb->invocations(),
                 (QList<QStringList>{devices(), launchActivity(FirstPackage),
                                     launchActivity(SecondPackage), fileList(FirstPackage)}));
        QCOMPARE(f->consoleText(),
                 Starting + OneDeviceListing + "error: no devices/emulators found\n");
        verifyNothingShown();

        click();
        QCOMPARE(adb->invocations().size(), 5);
        QCOMPARE(adb->invocations().last(), devices());
        QVERIFY(f->consoleText().endsWith(
            Starting +
            "Checking Android devices...\nList of devices attached\n\n"
            "Error: no android device is connected.\n"
            "Please disconnect your device and reconnect it, then press the above Start Ostrel "
            "VNC Server button again.\n"));
        verifyNothingShown();
    }

    void deviceGoneDuringAStopKeepsOfferingTheStop() {
        attach({{"package", FirstPackage}, {"goneFrom", 7}}); // the first start takes 6 runs
        click();
        verifyShown(true);
        click();
        QCOMPARE(adb->invocations().last(), processList());
        QVERIFY(f->consoleText().endsWith(Stopping + "error: no devices/emulators found\n"));
        verifyShown(true);
        QVERIFY(f->controller->bridge().serverRunning);
    }
};

QTEST_MAIN(ServerLifecycleTest)
#include "test_server_lifecycle.moc"
