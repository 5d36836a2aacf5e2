// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/SiteAddresses.h"
#include "core/session/ServerOutput.h"
#include "support/ConsoleTexts.h"
#include "support/PhoneCommands.h"
#include "support/SessionFixture.h"
#include "support/SessionParts.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;
using namespace ostrel::test::phone;
using namespace ostrel::test::texts;

namespace {

const QString OneDeviceListing = QStringLiteral("Checking Android devices...\n"
                                                "List of devices attached\n"
                                                "emulator-5554\tdevice\n\n");
const QString Retired =
    QStringLiteral("Error: This version of Ostrel VNC Server is no longer supported.\n"
                   "Please update the app on your device from Google Play.\n\n");

// Generous enough that a launched server is always seen by its first listing.
Waits flowWaits() {
    Waits waits = fastWaits();
    waits.serverAppearLimit = std::chrono::milliseconds(3000);
    return waits;
}

const QString Phone = QStringLiteral("emulator-5554");
const QString AlreadyRunning =
    QStringLiteral("Ostrel VNC Server is already running on the device.\n");

// The commands as the phone gets them: each but the listing names the phone.
QList<QStringList> aimed(const QList<QStringList>& commands) {
    QList<QStringList> runs;
    for (const QStringList& command : commands)
        runs.append(command == devices() ? command : QStringList{"-s", Phone} + command);
    return runs;
}

// The executable is looked for before the process listing can look for it.
QList<QStringList> lookFor(const QString& package) {
    QList<QStringList> runs{fileList(FirstPackage)};
    if (package == SecondPackage)
        runs << fileList(SecondPackage);
    return runs;
}

QList<QStringList> firstStart(const QString& package) {
    QList<QStringList> runs{devices()};
    runs << lookFor(package) << processList() << launchActivity(package) << lookFor(package)
         << runServer(package) << processList();
    return aimed(runs);
}

} // namespace

class ServerLifecycleTest : public QObject {
    Q_OBJECT

    std::unique_ptr<SessionFixture> f;

    void attach(const QJsonObject& scenario, Waits waits = flowWaits()) {
        f.reset();
        f = std::make_unique<SessionFixture>(scenario, waits);
    }
    void toggle() { f->run(f->session.toggleServer()); }

private Q_SLOTS:
    void cleanup() { f.reset(); }

    void firstStartFindsTheServer_data() {
        QTest::addColumn<QString>("package");
        QTest::newRow("first package") << FirstPackage;
        QTest::newRow("second package only") << SecondPackage;
    }
    void firstStartFindsTheServer() {
        QFETCH(QString, package);
        attach({{"package", package}});
        toggle();
        QCOMPARE(f->phone.invocations(), firstStart(package));
        QCOMPARE(f->seen.console, Starting + OneDeviceListing + RunningRow);
        QCOMPARE(f->seen.failures, QString());
        QCOMPARE(f->seen.serverStates, QList<bool>{true});
        QCOMPARE(f->seen.busyChanges, (QList<bool>{true, false}));
        // The server never returns, so its launch alone is not waited for; every
        // other command is, under the command time-out.
        for (const ScriptedPhone::Invocation& run : f->phone.runs()) {
            QCOMPARE(run.program, SessionFixture::AdbPath);
            QCOMPARE(run.detached, run.arguments == aimed({runServer(package)}).first());
            if (!run.detached)
                QCOMPARE(run.timeout, flowWaits().commandTimeout);
        }
    }

    void aStopThenAStartLaunchOnlyTheKnownPackage() {
        attach({{"package", SecondPackage}});
        toggle();
        qsizetype before = f->phone.invocations().size();
        toggle(); // the stop request works
        QCOMPARE(f->runsSince(before), aimed({devices(), processList(), stopServer(SecondPackage),
                                              processList(), processList()}));
        QCOMPARE(f->seen.serverStates, (QList<bool>{true, false}));
        before = f->phone.invocations().size();
        toggle();
        QCOMPARE(
            f->runsSince(before),
            aimed({devices(), processList(), launchActivity(SecondPackage), fileList(FirstPackage),
                   fileList(SecondPackage), runServer(SecondPackage), processList()}));
        QCOMPARE(f->seen.console, Starting + OneDeviceListing + RunningRow + Stopping +
                                      OneDeviceListing + StoppedRow + Starting + OneDeviceListing +
                                      RunningRow);
        QCOMPARE(f->seen.serverStates, (QList<bool>{true, false, true}));
    }

    void executableThatAppearsLateIsWaitedFor() {
        attach({{"package", FirstPackage}, {"presentFrom", 3}});
        toggle();
        // Not found at first, so its package is not known and both are launched.
        QList<QStringList> expected{devices(),
                                    fileList(FirstPackage),
                                    fileList(SecondPackage),
                                    launchActivity(FirstPackage),
                                    launchActivity(SecondPackage),
                                    fileList(FirstPackage),
                                    fileList(SecondPackage),
                                    fileList(FirstPackage),
                                    runServer(FirstPackage),
                                    processList()};
        QCOMPARE(f->phone.invocations(), aimed(expected));
        QCOMPARE(f->seen.serverStates, QList<bool>{true});
    }

    void appNotInstalled() {
        attach({{"package", QJsonValue::Null}});
        toggle();
        QList<QStringList> expected{devices(), fileList(FirstPackage), fileList(SecondPackage),
                                    launchActivity(FirstPackage), launchActivity(SecondPackage)};
        for (int check = 0; check < 11; ++check)
            expected << fileList(FirstPackage) << fileList(SecondPackage);
        QCOMPARE(f->phone.invocations(), aimed(expected));
        QCOMPARE(f->seen.console, Starting + OneDeviceListing + NotInstalled);
        QCOMPARE(f->seen.failures, NotInstalled);
        const QList<std::pair<QString, QUrl>> links{
            {QStringLiteral("Get the Ostrel VNC Server App from Google Play\r\n"),
             googlePlayFrontPage()}};
        QCOMPARE(f->seen.links, links);
        QCOMPARE(f->seen.serverStates, QList<bool>{});
        // Nothing found is remembered: the next Start looks for the app anew.
        const qsizetype before = f->phone.invocations().size();
        toggle();
        QCOMPARE(f->phone.invocations().mid(before), aimed(expected));
    }

    void retiredBuildIsLaunchedButNotShown() {
        attach({{"package", FirstPackage}, {"size", 420556}});
        toggle();
        QCOMPARE(f->phone.invocations(), aimed({devices(), fileList(FirstPackage), processList(),
                                                launchActivity(FirstPackage),
                                                fileList(FirstPackage), runServer(FirstPackage)}));
        QCOMPARE(f->seen.console, Starting + OneDeviceListing + Retired);
        QCOMPARE(f->seen.failures, Retired);
        QCOMPARE(f->seen.serverStates, QList<bool>{});
    }

    void updatedAppIsNoLongerTakenForRetired() {
        ScriptedPhone phone({{"package", FirstPackage}, {"size", 420556}});
        SessionParts parts(phone, adbAt(SessionFixture::AdbPath), flowWaits());
        QCoro::waitFor(parts.lifecycle.adbStartOstrelVNCServer(Phone));
        QVERIFY(parts.lifecycle.record(Phone).serverUnsupported);
        phone.setScenario({{"package", FirstPackage}, {"size", 2000000}});
        const Step<ServerPresence> presence =
            QCoro::waitFor(parts.lifecycle.checkOstrelVNCServerFileExists(Phone));
        QCOMPARE(presence.value, ServerPresence::Found);
        QVERIFY(!parts.lifecycle.record(Phone).serverUnsupported);
    }

    void serverThatShowsLateIsPolledFor() {
        attach({{"package", FirstPackage}, {"appearAfter", 3}});
        toggle();
        QCOMPARE(f->phone.invocations(),
                 firstStart(FirstPackage) + aimed({processList(), processList()}));
        QCOMPARE(f->seen.serverStates, QList<bool>{true});
    }

    void serverThatNeverShowsIsReportedNotStartedThenIsFoundRunning() {
        Waits waits = fastWaits();
        waits.serverAppearLimit = std::chrono::milliseconds(200);
        attach({{"package", FirstPackage}, {"appearAfter", 1000000}}, waits);
        toggle();
        // Listed until the limit ran out; how often depends on the timers.
        const QList<QStringList> start = firstStart(FirstPackage);
        const QList<QStringList> runs = f->phone.invocations();
        QCOMPARE(runs.mid(0, start.size()), start);
        QVERIFY(runs.size() > start.size());
        for (const QStringList& run : runs.mid(start.size()))
            QCOMPARE(run, aimed({processList()}).first());
        // It printed nothing, so there is nothing to show after the verdict.
        QCOMPARE(f->seen.console, Starting + OneDeviceListing + DidNotStart);
        QCOMPARE(f->seen.failures, DidNotStart);
        QCOMPARE(f->seen.serverStates, QList<bool>{false});

        // Later it does show: the next start only looks and says so.
        f->phone.setScenario({{"package", FirstPackage}, {"appearAfter", 0}});
        const qsizetype before = f->phone.invocations().size();
        toggle();
        QCOMPARE(f->runsSince(before), aimed({devices(), processList()}));
        QVERIFY(
            f->seen.console.endsWith(DidNotStart + Starting + OneDeviceListing + AlreadyRunning));
        QCOMPARE(f->seen.serverStates, (QList<bool>{false, true}));
    }

    void stop_data() {
        QTest::addColumn<QJsonObject>("server");
        QTest::addColumn<QList<QStringList>>("runs");
        QTest::addColumn<bool>("stillRunning");
        const QList<QStringList> killed = aimed({devices(), processList(), stopServer(FirstPackage),
                                                 processList(), killServer(4321), processList()});
        QTest::newRow("stop request works")
            << QJsonObject{}
            << aimed({devices(), processList(), stopServer(FirstPackage), processList(),
                      processList()})
            << false;
        QTest::newRow("stop needs the kill")
            << QJsonObject{{"stopWorks", false}} << killed << false;
        QTest::newRow("kill refused")
            << QJsonObject{{"stopWorks", false}, {"killWorks", false}} << killed << true;
        QTest::newRow("survives the kill")
            << QJsonObject{{"stopWorks", false}, {"survivesKill", true}} << killed << true;
        // Asking the server to stop needs no process id.
        QTest::newRow("no process id: the request alone")
            << QJsonObject{{"pid", 0}}
            << aimed({devices(), processList(), stopServer(FirstPackage), processList(),
                      processList()})
            << false;
        QTest::newRow("no process id: nothing to kill")
            << QJsonObject{{"pid", 0}, {"stopWorks", false}}
            << aimed({devices(), processList(), stopServer(FirstPackage), processList(),
                      processList()})
            << true;
    }
    void stop() {
        QFETCH(QJsonObject, server);
        QFETCH(QList<QStringList>, runs);
        QFETCH(bool, stillRunning);
        QJsonObject scenario = server;
        scenario.insert("package", FirstPackage);
        attach(scenario);
        toggle();
        QCOMPARE(f->seen.serverStates, QList<bool>{true});
        const qsizetype before = f->phone.invocations().size();
        toggle();
        QCOMPARE(f->runsSince(before), runs);
        // A server still listed is not called stopped, nor started anew.
        QCOMPARE(f->seen.console, Starting + OneDeviceListing + RunningRow + Stopping +
                                      OneDeviceListing +
                                      (stillRunning ? StillRunning : StoppedRow));
        QCOMPARE(f->seen.failures, stillRunning ? StillRunning : QString());
        QCOMPARE(f->seen.serverStates, (QList<bool>{true, stillRunning}));
    }

    void serverThatFailsShowsTheEndOfItsOutput_data() {
        QTest::addColumn<QString>("printed");
        QTest::addColumn<QString>("shown");
        QTest::newRow("one line") << "bind: Address already in use"
                                  << "    ostrelvncserver: starting\n"
                                     "    bind: Address already in use\n";
        QStringList many;
        for (int line = 1; line <= 12; ++line)
            many << QStringLiteral("line %1").arg(line);
        QString lastTen;
        for (const QString& line : many.mid(2))
            lastTen += "    " + line + "\n";
        QTest::newRow("more than ten lines") << many.join('\n') << lastTen;
        // Shown as all outside text is, not deleted: the escape, the bell and
        // the override are seen for what they are.
        QTest::newRow("control characters and blank lines")
            << QStringLiteral("\x1b[31mfatal\x1b[0m\r\n\n\tno\x07 display\nlog/\u202Egol.txt")
            << QStringLiteral("    ostrelvncserver: starting\n"
                              "    \u241B[31mfatal\u241B[0m\n"
                              "    no\u2407 display\n"
                              "    log/<U+202E>gol.txt\n");
    }
    void serverThatFailsShowsTheEndOfItsOutput() {
        QFETCH(QString, printed);
        QFETCH(QString, shown);
        attach({{"package", FirstPackage}, {"serverFails", printed}}, fastWaits());
        toggle();
        QCOMPARE(f->phone.invocations().mid(0, firstStart(FirstPackage).size()),
                 firstStart(FirstPackage));
        QCOMPARE(f->seen.console, Starting + OneDeviceListing + DidNotStart + shown);
        QCOMPARE(f->seen.failures, DidNotStart + shown);
        QCOMPARE(f->seen.serverStates, QList<bool>{false});
    }

    // The usual output folder is a link: the first start says so once, and
    // every start still shows the server's last words from the run's own
    // folder, which goes with the session.
    void anUnusableOutputFolderIsSaidOnce() {
        const QTemporaryDir runtime;
        const QTemporaryDir elsewhere;
        const QString usual = runtime.filePath(serverOutputFolderName());
        QVERIFY(QFile::link(elsewhere.path(), usual));
        const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        attach({{"package", FirstPackage}, {"serverFails", "bind: Address already in use"}},
               fastWaits());
        toggle();
        toggle();
        const QString failures = f->seen.failures;
        const QStringList made =
            QDir(runtime.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks);
        f.reset(); // the session ends, as the program does
        QCOMPARE(made.size(), 1);
        const QString runFolder = runtime.filePath(made.constFirst());
        if (savedRuntime.isNull())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", savedRuntime);

        const QString note = QStringLiteral("Note: %1 is a link, so the server's output is kept "
                                            "in %2 until the program ends.\n")
                                 .arg(usual, runFolder);
        const QString tail = QStringLiteral("    ostrelvncserver: starting\n"
                                            "    bind: Address already in use\n");
        QVERIFY(runFolder.startsWith(usual + QLatin1Char('-')));
        QCOMPARE(failures, note + DidNotStart + tail + DidNotStart + tail);
        QVERIFY(!QFileInfo::exists(runFolder));
        QCOMPARE(QDir(elsewhere.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList());
    }

    void refusedListing_data() {
        QTest::addColumn<QJsonValue>("package");
        QTest::addColumn<QJsonValue>("denied");
        QTest::addColumn<QStringList>("refusedPaths"); // empty: the start goes on
        QTest::newRow("first refused, second installed")
            << QJsonValue(SecondPackage) << QJsonValue(FirstPackage) << QStringList{};
        QTest::newRow("first refused, second missing")
            << QJsonValue(QJsonValue::Null) << QJsonValue(FirstPackage)
            << QStringList{executableOf(FirstPackage)};
        QTest::newRow("both refused")
            << QJsonValue(FirstPackage) << QJsonValue(true)
            << QStringList{executableOf(FirstPackage), executableOf(SecondPackage)};
    }
    void refusedListing() {
        QFETCH(QJsonValue, package);
        QFETCH(QJsonValue, denied);
        QFETCH(QStringList, refusedPaths);
        attach({{"package", package}, {"listingDenied", denied}});
        toggle();
        if (refusedPaths.isEmpty()) {
            QCOMPARE(f->phone.invocations(), firstStart(SecondPackage));
            QCOMPARE(f->seen.console, Starting + OneDeviceListing + RunningRow);
            return;
        }
        // Refused once is refused for good: nothing is launched.
        QCOMPARE(f->phone.invocations(),
                 aimed({devices(), fileList(FirstPackage), fileList(SecondPackage)}));
        QString adbText;
        for (const QString& path : refusedPaths)
            adbText += "ls: " + path + ": Permission denied\n";
        QCOMPARE(f->seen.console, Starting + OneDeviceListing + adbText + FilesNotChecked);
        QCOMPARE(f->seen.failures, adbText + FilesNotChecked);
        QCOMPARE(f->seen.links, (QList<std::pair<QString, QUrl>>{}));
        QCOMPARE(f->seen.serverStates, QList<bool>{});
    }

    // Only a listing that showed the executable names its path.
    void presenceCheckCutShortKeepsWhatWasKnown_data() {
        QTest::addColumn<bool>("startedBefore");
        QTest::newRow("nothing known") << false;
        QTest::newRow("known from an earlier start") << true;
    }
    void presenceCheckCutShortKeepsWhatWasKnown() {
        QFETCH(bool, startedBefore);
        // The app is under the second package, so the first one tried is a
        // candidate that nothing confirms.
        ScriptedPhone phone({{"package", SecondPackage}});
        SessionParts parts(phone, adbAt(SessionFixture::AdbPath), flowWaits());
        const QString known = startedBefore ? executableOf(SecondPackage) : QString();
        if (startedBefore)
            QVERIFY(QCoro::waitFor(parts.lifecycle.adbStartOstrelVNCServer(Phone)));
        const qsizetype before = phone.invocations().size();
        phone.setScenario({{"package", SecondPackage}, {"goneFrom", before + 1}});
        const Step<ServerPresence> presence =
            QCoro::waitFor(parts.lifecycle.checkOstrelVNCServerFileExists(Phone));
        QVERIFY(!presence.goesOn());
        QCOMPARE(phone.invocations().mid(before), aimed({fileList(FirstPackage)}));
        QCOMPARE(parts.lifecycle.record(Phone).serverPath, known);
        QCOMPARE(parts.lifecycle.record(Phone).serverPackage,
                 startedBefore ? SecondPackage : QString());
    }

    void deviceGoneMidFlowEndsItAndListsAgain() {
        attach({{"package", FirstPackage}, {"goneFrom", 4}}); // gone at the activity's launch
        toggle();
        QCOMPARE(f->phone.invocations(), aimed({devices(), fileList(FirstPackage), processList(),
                                                launchActivity(FirstPackage)}));
        const QString gone = "error: device '" + Phone + "' not found\n";
        QCOMPARE(f->seen.console, Starting + OneDeviceListing + gone);
        QCOMPARE(f->seen.failures, gone);
        QCOMPARE(f->seen.serverStates, QList<bool>{});

        toggle();
        QCOMPARE(f->phone.invocations().size(), 5);
        QCOMPARE(f->phone.invocations().last(), devices());
        QVERIFY(f->seen.console.endsWith(
            Starting + "Checking Android devices...\nList of devices attached\n\n" + "Device " +
            Phone + " is no longer attached.\n" + NoDeviceLines));
        QCOMPARE(f->seen.serverStates, QList<bool>{});
        QCOMPARE(f->seen.deviceLists.last(), std::make_pair(QStringList{"No device"}, 0));
    }

    void deviceGoneDuringAStopKeepsOfferingTheStop() {
        // The first start takes 7 runs, the stop's listing is the 8th.
        attach({{"package", FirstPackage}, {"goneFrom", 9}});
        toggle();
        QCOMPARE(f->seen.serverStates, QList<bool>{true});
        toggle();
        QCOMPARE(f->phone.invocations().last(), aimed({processList()}).first());
        QVERIFY(f->seen.console.endsWith(Stopping + OneDeviceListing + "error: device '" + Phone +
                                         "' not found\n"));
        QCOMPARE(f->seen.serverStates, QList<bool>{true});
    }

    void aFlowAskedForWhileOneRunsIsTurnedAway_data() {
        QTest::addColumn<bool>("secondIsUsbConnect");
        QTest::newRow("second start") << false;
        QTest::newRow("USB connect") << true;
    }
    void aFlowAskedForWhileOneRunsIsTurnedAway() {
        QFETCH(bool, secondIsUsbConnect);
        attach({{"package", FirstPackage}});
        QCoro::Task<void> first = f->session.toggleServer();
        QVERIFY(f->session.isBusy());
        if (secondIsUsbConnect) {
            QCoro::Task<bool> second = f->session.usbConnect(portOf(5901));
            QVERIFY(second.isReady());
        } else {
            QCoro::Task<void> second = f->session.toggleServer();
            QVERIFY(second.isReady());
        }
        f->run(std::move(first));
        QCOMPARE(f->phone.invocations(), firstStart(FirstPackage));
        QCOMPARE(f->seen.console, Starting + OneDeviceListing + RunningRow);
        QCOMPARE(f->seen.busyChanges, (QList<bool>{true, false}));
    }

    void cancelEndsTheFlowAtOnce_data() {
        QTest::addColumn<QStringList>("hanging");
        QTest::addColumn<QList<QStringList>>("runsBeforeCancel");
        const QList<QStringList> looked{devices(), fileList(FirstPackage), fileList(SecondPackage)};
        // The executable is missing at first, so the flow waits a second before it
        // looks again.
        QTest::newRow("waiting to look for the executable again")
            << QStringList{}
            << aimed(looked + QList<QStringList>{launchActivity(FirstPackage),
                                                 launchActivity(SecondPackage),
                                                 fileList(FirstPackage), fileList(SecondPackage)});
        QTest::newRow("a command that does not end")
            << aimed({fileList(FirstPackage)}).first() << aimed(looked.mid(0, 2));
    }
    void cancelEndsTheFlowAtOnce() {
        QFETCH(QStringList, hanging);
        QFETCH(QList<QStringList>, runsBeforeCancel);
        Waits waits = flowWaits();
        waits.presenceRetry = Waits{}.presenceRetry;
        attach({{"package", FirstPackage}, {"presentFrom", 3}}, waits);
        if (!hanging.isEmpty())
            f->phone.hangOn(hanging);
        QCoro::Task<void> flow = f->session.toggleServer();
        QTRY_COMPARE(f->phone.invocations(), runsBeforeCancel);
        QTRY_COMPARE(f->phone.waiting(), hanging.isEmpty() ? 0 : 1);
        const QString console = f->seen.console;
        QCOMPARE(console, Starting + OneDeviceListing);

        f->session.cancel();
        // Unwound before cancel() returned: nothing is left to resume later.
        QVERIFY(flow.isReady());
        QVERIFY(!f->session.isBusy());
        QCOMPARE(f->seen.busyChanges, (QList<bool>{true, false}));
        QCOMPARE(f->phone.waiting(), 0);
        // Longer than the wait that was cut short.
        QTest::qWait(static_cast<int>(waits.presenceRetry.count()) + 200);
        QCOMPARE(f->phone.invocations(), runsBeforeCancel);
        QCOMPARE(f->seen.console, console);
        QCOMPARE(f->seen.serverStates, QList<bool>{});

        // The next flow is heard again.
        f->run(f->session.usbConnect(portOf(5901)));
        QCOMPARE(f->runsSince(runsBeforeCancel.size()),
                 aimed({devices(), forwardNew(5901), forwardNew(5801)}));
        QVERIFY(f->seen.console.startsWith(console + SettingUp));
        QVERIFY(f->seen.console.endsWith(webLink(5801) + nothingAnswers(5901)));
    }

    void commandThatHangsEndsTheFlowAtItsTimeLimit() {
        Waits waits = flowWaits();
        waits.commandTimeout = std::chrono::milliseconds(300);
        attach({{"package", FirstPackage}}, waits);
        f->phone.hangOn(aimed({fileList(FirstPackage)}).first());
        QElapsedTimer clock;
        clock.start();
        toggle();
        QVERIFY(clock.elapsed() < 5000);
        QCOMPARE(f->phone.invocations(), aimed({devices(), fileList(FirstPackage)}));
        const QString stopped =
            "Error: /scripted/adb did not finish within 0.3 seconds and was stopped.\n";
        QCOMPARE(f->seen.console, Starting + OneDeviceListing + stopped);
        QCOMPARE(f->seen.failures, stopped);
        QCOMPARE(f->seen.serverStates, QList<bool>{});
    }
};

QTEST_MAIN(ServerLifecycleTest)
#include "test_server_lifecycle.moc"
