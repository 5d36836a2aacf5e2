#include "support/ControllerFixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTest>
#include <QTimer>

using namespace ostrel;
using namespace ostrel::test;

class AdbRunnerTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ControllerFixture> f;
    std::unique_ptr<FakeAdb> adb;

    void makeFixture(Waits waits = fastWaits()) {
        adb.reset();
        f = std::make_unique<ControllerFixture>(waits, QUrl("http://127.0.0.1:9"), false);
        adb = std::make_unique<FakeAdb>(f->directory.filePath("adb-bin"));
        f->chooseAdb(adb->path());
    }

private Q_SLOTS:
    void init() { makeFixture(); }
    void cleanup() {
        adb.reset();
        f.reset();
    }

    void argumentsReachAdbUnchanged() {
        const QStringList arguments{"shell", "ls", "-l", "/data/with space/ostrelvncserver", ""};
        const AdbRun run = f->controller->launchAdbProcess(arguments, true);
        QVERIFY(run.succeeded());
        QCOMPARE(adb->invocations(), QList<QStringList>{arguments});
    }

    void echoFollowsTheModeAndEveryLineIsClassified_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("echoed");
        QTest::newRow("idle") << int(Mode::Idle) << true;
        QTest::newRow("device list") << int(Mode::DeviceList) << true;
        QTest::newRow("server process") << int(Mode::ServerProcess) << false;
        QTest::newRow("server file") << int(Mode::ServerFile) << false;
        QTest::newRow("quiet") << int(Mode::Quiet) << false;
        QTest::newRow("forward") << int(Mode::Forward) << true;
    }

    void echoFollowsTheModeAndEveryLineIsClassified() {
        QFETCH(int, mode);
        QFETCH(bool, echoed);
        adb->setStandardOutput("root 4242 1 S ./ostrelvncserver\r\n");
        f->controller->bridge().CommandMode = mode;
        f->controller->launchAdbProcess({"shell", "ps"}, true);
        QCOMPARE(f->consoleText().contains("4242"), echoed);
        QCOMPARE(f->controller->bridge().serverRunning, mode == Mode::ServerProcess);
        if (mode == Mode::ServerProcess)
            QCOMPARE(f->controller->bridge().serverPid, 4242);
    }

    void standardErrorIsNeitherEchoedNorClassified() {
        adb->setStandardError("SERIAL1\tdevice\n");
        adb->setExitCode(1);
        f->controller->bridge().CommandMode = Mode::DeviceList;
        const AdbRun run = f->controller->launchAdbProcess({"devices"}, true);
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.standardError, QByteArray("SERIAL1\tdevice\n"));
        QCOMPARE(f->controller->bridge().deviceCount, 0);
        QCOMPARE(f->consoleText(), QString());
    }

    void outputLargerThanAPipeIsDeliveredWhole() {
        QByteArray listing = "USER PID PPID VSIZE RSS WCHAN PC NAME\n";
        for (int i = 0; i < 5000; ++i)
            listing += "u0_a1 " + QByteArray::number(1000 + i) + " 1 1234 567 ffff 0000 S proc" +
                       QByteArray::number(i) + "\n";
        listing += "root 31337 1 1 1 ffff 0000 S /data/data/x/files/ostrelvncserver\n";
        adb->setStandardOutput(listing);
        f->controller->bridge().CommandMode = Mode::ServerProcess;
        f->controller->launchAdbProcess({"shell", "ps"}, true);
        QCOMPARE(f->controller->bridge().serverPid, 31337);
    }

    void bytesAboveAsciiDoNotFail() {
        adb->setStandardOutput("caf\xc3\xa9 \xff\xfe\x80 done\n");
        const AdbRun run = f->controller->launchAdbProcess({"devices"}, true);
        QVERIFY(run.succeeded());
        QVERIFY(f->consoleText().startsWith(QString::fromUtf8("caf\xc3\xa9 ")));
        QVERIFY(f->consoleText().contains("done"));
    }

    void windowKeepsProcessingEventsWhileWaiting() {
        adb->setSleepSeconds(0.5);
        bool firedDuringCommand = false;
        QTimer::singleShot(50, f->window.get(), [&] { firedDuringCommand = true; });
        f->controller->launchAdbProcess({"devices"}, true);
        QVERIFY(firedDuringCommand);
    }

    void commandThatHangsIsKilledAndReported() {
        Waits waits = fastWaits();
        waits.commandTimeout = std::chrono::milliseconds(300);
        makeFixture(waits);
        adb->setSleepSeconds(20);
        adb->setStandardOutput("never shown\n");
        QElapsedTimer clock;
        clock.start();
        const AdbRun run = f->controller->launchAdbProcess({"devices"}, true);
        QVERIFY(clock.elapsed() < 10000);
        QCOMPARE(run.status, AdbRun::Status::TimedOut);
        QVERIFY(f->consoleText().contains("did not finish within 0.3 seconds and was stopped"));
    }

    void unrunnableChoiceIsReported_data() {
        QTest::addColumn<bool>("exists");
        QTest::newRow("deleted") << false;
        QTest::newRow("not executable") << true;
    }

    void unrunnableChoiceIsReported() {
        QFETCH(bool, exists);
        const QString path = f->directory.filePath("chosen/adb");
        if (exists) {
            QDir().mkpath(f->directory.filePath("chosen"));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        f->chooseAdb(path);
        const AdbRun run = f->controller->launchAdbProcess({"devices"}, true);
        QCOMPARE(run.status, AdbRun::Status::FailedToStart);
        const QString console = f->consoleText();
        QVERIFY2(console.startsWith("Error: adb could not be run: " + path), qPrintable(console));
        QVERIFY(console.contains("adb button"));
        QCOMPARE(console.count('\n'), 1);
    }

    void noAdbAnywhereIsReported() {
        QSettings(QStringLiteral("Ostrel"), QStringLiteral("Ostrel Dravik")).remove("adb");
        const QByteArray path = qgetenv("PATH");
        const QByteArray home = qgetenv("ANDROID_HOME");
        const QByteArray root = qgetenv("ANDROID_SDK_ROOT");
        qputenv("PATH", f->directory.path().toUtf8());
        qunsetenv("ANDROID_HOME");
        qunsetenv("ANDROID_SDK_ROOT");
        const AdbRun run = f->controller->launchAdbProcess({"devices"}, true);
        const AdbRun detached = f->controller->launchAdbProcess({"kill-server"}, false);
        qputenv("PATH", path);
        if (!home.isNull())
            qputenv("ANDROID_HOME", home);
        if (!root.isNull())
            qputenv("ANDROID_SDK_ROOT", root);
        QCOMPARE(run.status, AdbRun::Status::NoExecutable);
        QCOMPARE(detached.status, AdbRun::Status::NoExecutable);
        QVERIFY(f->consoleText().startsWith("Error: adb was not found: no adb chosen, none at " +
                                            QCoreApplication::applicationDirPath() + "/adb"));
        QCOMPARE(f->consoleText().count('\n'), 2); // one line for each of the two commands
        QVERIFY(f->consoleText().contains("adb button"));
    }

    void withoutWaitReturnsAtOnceAndReadsNothing() {
        adb->setStandardOutput("SERIAL\tdevice\n");
        adb->setSleepSeconds(1.5);
        f->controller->bridge().CommandMode = Mode::DeviceList;
        QElapsedTimer clock;
        clock.start();
        const AdbRun run =
            f->controller->launchAdbProcess({"shell", "/data/x/ostrelvncserver"}, false);
        QVERIFY(clock.elapsed() < 1000); // the child sleeps 1.5 s before it ends
        QVERIFY(run.finished());
        QTRY_COMPARE(adb->invocations().size(), 1);
        QTest::qWait(2000);
        QCOMPARE(f->controller->bridge().deviceCount, 0);
        QCOMPARE(f->consoleText(), QString());
    }
};

QTEST_MAIN(AdbRunnerTest)
#include "test_adb_runner.moc"
