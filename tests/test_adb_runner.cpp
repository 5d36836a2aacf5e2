// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/device/DeviceListing.h"
#include "core/device/ProcessListing.h"
#include "core/process/ProcessRunner.h"
#include "support/AdbLookupEnvironment.h"
#include "support/SessionFixture.h"
#include "support/SessionParts.h"
#include "support/StandInAdb.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <sys/types.h>

using namespace ostrel;
using namespace ostrel::test;

Q_DECLARE_METATYPE(ostrel::Echo)

namespace {

// A session's adb commands, alone, on the real runner and a stand-in adb.
struct RunnerFixture {
    explicit RunnerFixture(Waits waits)
        : parts(runner,
                AdbLookup([this] { return adbPath; }, QCoreApplication::applicationDirPath()),
                waits) {}

    // Waited for, its output shown; or (wait false) started to outlive us.
    AdbRun launch(const QStringList& arguments, bool wait = true) {
        if (!wait)
            return parts.commands.launchDetachedAdbProcess(arguments);
        return runUnder(Echo::Shown, arguments).value;
    }

    Step<AdbRun> runUnder(Echo echo, const QStringList& arguments) {
        return QCoro::waitFor(parts.commands.runOnServer(echo, arguments));
    }

    QTemporaryDir directory;
    StandInAdb adb{directory.filePath(QStringLiteral("adb-bin"))};
    QString adbPath = adb.path(); // empty: none chosen, and none is found
    ProcessRunner runner;
    SessionParts parts;
    SessionRecorder& seen = parts.seen;
};

// Gone, or only waiting to be reaped by whoever inherited it.
bool processIsGone(pid_t pid) {
    if (::kill(pid, 0) != 0)
        return true;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray fields = stat.readAll();
    const qsizetype afterName = fields.lastIndexOf(')');
    return afterName >= 0 && fields.mid(afterName + 2, 1) == "Z";
}

// Makes sure a process the test made is not left behind when the test fails.
struct ProcessReaper {
    pid_t pid = 0;
    ~ProcessReaper() {
        if (pid > 0 && !processIsGone(pid))
            ::kill(pid, SIGKILL);
    }
};

} // namespace

class AdbRunnerTest : public QObject {
    Q_OBJECT

    std::unique_ptr<RunnerFixture> f;

    void makeFixture(Waits waits = fastWaits()) {
        f.reset();
        f = std::make_unique<RunnerFixture>(waits);
    }

private Q_SLOTS:
    void init() { makeFixture(); }
    void cleanup() { f.reset(); }

    void argumentsReachAdbUnchanged() {
        const QStringList arguments{
            "shell", "ls", "-l", "/data/with space/ostrelvncserver", "", "caf\u00e9", "$HOME", "*"};
        const AdbRun run = f->launch(arguments);
        QVERIFY(run.succeeded());
        QCOMPARE(f->adb.invocations(), QList<QStringList>{arguments});
    }

    void echoFollowsTheCommandAndTheOutputComesBack_data() {
        QTest::addColumn<Echo>("echo");
        QTest::addColumn<bool>("echoed");
        QTest::newRow("shown") << Echo::Shown << true;
        QTest::newRow("quiet") << Echo::Quiet << false;
    }
    // The output comes back from its command, whatever was shown of it.
    void echoFollowsTheCommandAndTheOutputComesBack() {
        QFETCH(Echo, echo);
        QFETCH(bool, echoed);
        f->adb.setStandardOutput("root 4242 1 S ./ostrelvncserver\r\n");
        const Step<AdbRun> run = f->runUnder(echo, {"shell", "ps"});
        QVERIFY(run.goesOn());
        QCOMPARE(f->seen.console, echoed ? "root 4242 1 S ./ostrelvncserver\n" : "");
        QCOMPARE(f->seen.failures, QString());
        const ServerProcess process = readServerProcess(run.value.standardOutput, {});
        QVERIFY(process.running);
        QCOMPARE(process.pid, 4242);
    }

    // A listing whose last line has no line end still says the server runs,
    // and that line is read with this command, not with the next one.
    void lastLineWithoutItsEndIsReadWithItsCommand() {
        f->adb.setStandardOutput("USER PID PPID S NAME\nroot 4242 1 S ./ostrelvncserver");
        const AdbRun first = f->launch({"shell", "ps"});
        const ServerProcess process = readServerProcess(first.standardOutput, {});
        QVERIFY(process.running);
        QCOMPARE(process.pid, 4242);
        f->adb.setStandardOutput("USER PID PPID S NAME\n");
        const AdbRun next = f->launch({"shell", "ps"});
        QVERIFY(!readServerProcess(next.standardOutput, {}).running);
    }

    void standardErrorIsNeitherEchoedNorClassified() {
        f->adb.setStandardOutput("List of devices attached\n\n");
        f->adb.setStandardError("SERIAL1\tdevice\n");
        f->adb.setExitCode(1);
        const AdbRun run = f->runUnder(Echo::Shown, {"devices"}).value;
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.standardOutput, QByteArray("List of devices attached\n\n"));
        QCOMPARE(run.standardError, QByteArray("SERIAL1\tdevice\n"));
        QVERIFY(parseDeviceListing(run.standardOutput).isEmpty());
        QCOMPARE(f->seen.console, "List of devices attached\n\n");
    }

    void outputLargerThanAPipeIsDeliveredWhole() {
        QByteArray listing = "USER PID PPID VSIZE RSS WCHAN PC NAME\n";
        for (int i = 0; i < 5000; ++i)
            listing += "u0_a1 " + QByteArray::number(1000 + i) + " 1 1234 567 ffff 0000 S proc" +
                       QByteArray::number(i) + "\n";
        listing += "root 31337 1 1 1 ffff 0000 S /data/data/x/files/ostrelvncserver\n";
        QVERIFY(listing.size() > 200000);
        f->adb.setStandardOutput(listing);
        const AdbRun run = f->launch({"shell", "ps"});
        QCOMPARE(run.standardOutput, listing);
        QCOMPARE(readServerProcess(run.standardOutput, {}).pid, 31337);
    }

    // An adb printing without end must not take all the memory; what is kept
    // ends with a whole line.
    void outputBeyondTheLimitIsDropped() {
        const QByteArray line =
            "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef\n";
        f->adb.setStandardOutput(line.repeated(9 * (1 << 20) / line.size()));
        const AdbRun run = f->launch({"shell", "ps"});
        QVERIFY(run.succeeded());
        QVERIFY(run.standardOutput.size() <= 8 * (1 << 20));
        QVERIFY(run.standardOutput.size() > 7 * (1 << 20));
        QVERIFY(run.standardOutput.endsWith(line));
    }

    void bytesAboveAsciiDoNotFail() {
        f->adb.setStandardOutput("caf\xc3\xa9 \xff\xfe\x80 done\n");
        const AdbRun run = f->launch({"devices"});
        QVERIFY(run.succeeded());
        QCOMPARE(run.standardOutput, QByteArray("caf\xc3\xa9 \xff\xfe\x80 done\n"));
        QVERIFY(f->seen.console.startsWith(QString::fromUtf8("caf\xc3\xa9 ")));
        QVERIFY(f->seen.console.endsWith(" done\n"));
    }

    void eventLoopKeepsRunningWhileWaiting() {
        f->adb.setSleepSeconds(0.5);
        bool firedDuringCommand = false;
        QTimer::singleShot(50, &f->parts.console, [&] { firedDuringCommand = true; });
        f->launch({"devices"});
        QVERIFY(firedDuringCommand);
    }

    void standardInputIsTheNullDevice() {
        Waits waits = fastWaits();
        waits.commandTimeout = std::chrono::milliseconds(3000);
        makeFixture(waits);
        f->adb.setReadsStandardInput();
        f->adb.setStandardOutput("read to its end\n");
        const AdbRun run = f->launch({"devices"});
        QCOMPARE(run.status, AdbRun::Status::Finished);
        QCOMPARE(run.standardOutput, QByteArray("read to its end\n"));
    }

    // Whatever adb started goes with it: a server it forked must not live on
    // when the command is given up.
    void stoppedCommandEndsItsWholeProcessGroup_data() {
        QTest::addColumn<bool>("cancelled");
        QTest::newRow("time limit") << false;
        QTest::newRow("cancel") << true;
    }
    void stoppedCommandEndsItsWholeProcessGroup() {
        QFETCH(bool, cancelled);
        Waits waits = fastWaits();
        if (!cancelled)
            waits.commandTimeout = std::chrono::milliseconds(500);
        makeFixture(waits);
        f->adb.setStartsGrandchild();
        f->adb.setSleepSeconds(30);
        f->adb.setStandardOutput("List of devices attached\n");
        QElapsedTimer clock;
        clock.start();
        // The coroutine keeps a reference to its arguments while it runs.
        const QStringList arguments{"devices"};
        QCoro::Task<Step<AdbRun>> command = f->parts.commands.runOnServer(Echo::Shown, arguments);
        QTRY_VERIFY(QFile::exists(f->adb.grandchildPidFile()));
        QFile pidFile(f->adb.grandchildPidFile());
        QVERIFY(pidFile.open(QIODevice::ReadOnly));
        ProcessReaper grandchild{static_cast<pid_t>(pidFile.readAll().trimmed().toInt())};
        QVERIFY(grandchild.pid > 0);
        QVERIFY(!processIsGone(grandchild.pid));
        if (cancelled) {
            f->parts.flow.cancel();
            f->runner.cancel();
            // Ended before cancel() returned.
            QVERIFY(command.isReady());
        }
        const AdbRun run = QCoro::waitFor(command).value;
        QVERIFY(clock.elapsed() < 10000);
        QCOMPARE(run.status, cancelled ? AdbRun::Status::Cancelled : AdbRun::Status::TimedOut);
        // What a stopped command printed may be shown, but a cancelled one is
        // past telling anybody anything.
        QCOMPARE(f->seen.failures,
                 cancelled ? QString()
                           : "Error: " + f->adb.path() +
                                 " did not finish within 0.5 seconds and was stopped.\n");
        if (cancelled)
            QCOMPARE(f->seen.console, QString());
        QTRY_VERIFY_WITH_TIMEOUT(processIsGone(grandchild.pid), 3000);
        QCOMPARE(f->adb.finishedRuns(), 0);
    }

    // A limit is never cut short: Qt lets a coarse timer fire up to 5 % early,
    // and a very coarse one (20 s and more) up to half a second.
    void timeLimitIsNeverCutShort_data() {
        QTest::addColumn<int>("limitMs");
        QTest::newRow("250 ms") << 250;
        QTest::newRow("700 ms") << 700;
        QTest::newRow("1100 ms") << 1100;
    }
    void timeLimitIsNeverCutShort() {
        QFETCH(int, limitMs);
        f->adb.setSleepSeconds(30);
        ProcessRunner runner;
        QElapsedTimer clock;
        clock.start();
        const AdbRun run = QCoro::waitFor(runner.run(f->adb.path(), {QStringLiteral("devices")},
                                                     std::chrono::milliseconds(limitMs)));
        const qint64 waited = clock.elapsed();
        QCOMPARE(run.status, AdbRun::Status::TimedOut);
        QVERIFY2(waited >= limitMs, qPrintable(QStringLiteral("%1 ms").arg(waited)));
        QVERIFY2(waited < limitMs + 1000, qPrintable(QStringLiteral("%1 ms").arg(waited)));
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
            QVERIFY(QDir().mkpath(f->directory.filePath("chosen")));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        f->adbPath = path;
        const AdbRun waited = f->launch({"devices"});
        QCOMPARE(waited.status, AdbRun::Status::FailedToStart);
        const AdbRun detached = f->launch({"kill-server"}, false);
        QCOMPARE(detached.status, AdbRun::Status::FailedToStart);
        const QString reason = exists ? path + " is not executable" : path + " does not exist";
        const QString line = "Error: adb could not be run: " + reason +
                             ". Click the adb button to choose the adb executable.\n";
        QCOMPARE(f->seen.console, line + line);
        QCOMPARE(f->seen.failures, f->seen.console);
    }

    void noAdbAnywhereIsReported() {
        const QTemporaryDir empty;
        const AdbLookupEnvironment nowhere(empty.path());
        f->adbPath.clear();
        const AdbRun waited = f->launch({"devices"});
        const AdbRun detached = f->launch({"kill-server"}, false);
        QCOMPARE(waited.status, AdbRun::Status::NoExecutable);
        QCOMPARE(detached.status, AdbRun::Status::NoExecutable);
        const QString console = f->seen.console;
        QVERIFY2(console.startsWith("Error: adb was not found: no adb chosen, none at " +
                                    QCoreApplication::applicationDirPath() + "/adb"),
                 qPrintable(console));
        QCOMPARE(console.count('\n'), 2); // one line for each of the two commands
        QVERIFY(console.contains("adb button"));
        QCOMPARE(f->seen.failures, console);
    }

    void withoutWaitReturnsAtOnceAndReadsNothing() {
        f->adb.setStandardOutput("SERIAL\tdevice\n");
        f->adb.setSleepSeconds(1.5);
        QElapsedTimer clock;
        clock.start();
        const AdbRun run = f->launch({"shell", "/data/x/ostrelvncserver"}, false);
        QVERIFY(clock.elapsed() < 1000); // the child sleeps 1.5 s before it ends
        QVERIFY(run.finished());
        QTRY_COMPARE(f->adb.invocations().size(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(f->adb.finishedRuns(), 1, 10000);
        QTest::qWait(100); // time for any output that was read to arrive
        QCOMPARE(f->seen.console, QString());
    }
};

QTEST_MAIN(AdbRunnerTest)
#include "test_adb_runner.moc"
