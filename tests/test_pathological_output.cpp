// SPDX-License-Identifier: GPL-3.0-or-later
// Output no adb should print, and what the console and the device list make
// of it: nothing may freeze the program, and nothing of one command may leak
// into the next.
#include "core/device/AdbFailure.h"
#include "core/process/ProcessRunner.h"
#include "core/session/ConsoleText.h"
#include "core/text/VisibleText.h"
#include "support/ConsoleTexts.h"
#include "support/SessionFixture.h"
#include "support/SessionParts.h"
#include "support/StandInAdb.h"

#include <QElapsedTimer>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;

namespace {

const QString Checking = QStringLiteral("Checking Android devices...\n");
const QString NextListing = QStringLiteral("List of devices attached\nNEXT\tdevice\n");

QString notShown(qsizetype count) {
    return QStringLiteral("[\u2026 %1 characters not shown]").arg(count);
}

enum class Ending { Exits, Crashes, TimeLimit };

// A session's phone listing, alone, on the real runner and a stand-in adb.
struct StandInFixture {
    explicit StandInFixture(Waits waits) : parts(runner, adbAt(adb.path()), waits) {}

    void listDevices() { QCoro::waitFor(parts.discovery.adbDevices()); }
    QStringList usableSerials() const { return parts.discovery.usableSerials(); }

    QTemporaryDir directory;
    StandInAdb adb{directory.filePath(QStringLiteral("adb-bin"))};
    ProcessRunner runner;
    SessionParts parts;
    SessionRecorder& seen = parts.seen;
};

} // namespace

class PathologicalOutputTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void consoleShapesEachLine_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");

        const QString limit(ConsoleLineLimit, u'x');
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("ordinary lines stay") << "a\r\nb\n\tc\r\n"
                                             << "a\r\nb\n\tc\r\n";
        // What a device sends can neither ring, move a cursor nor reorder a line.
        QTest::newRow("controls show as symbols")
            << QStringLiteral("a\u001B[2Jb\u0007c\u009Bd\u202Ee\u007Ff\rg\r\n")
            << QStringLiteral("a\u241B[2Jb\u2407c<U+009B>d<U+202E>e\u2421f\u240Dg\r\n");
        QTest::newRow("a line at the limit stays") << limit + "\r\n" << limit + "\r\n";
        QTest::newRow("one over the limit")
            << limit + "y\r\n"
            << limit + QStringLiteral("[\u2026 1 character not shown]\r\n");
        QTest::newRow("long last line without its end")
            << "ok\n" + limit + QString(5000, u'y') << "ok\n" + limit + notShown(5000);
        QTest::newRow("each kind of line end ends a line")
            << limit + "55555\r\n" + limit + "22\n" + limit + "4444"
            << limit + notShown(5) + "\r\n" + limit + notShown(2) + "\n" + limit + notShown(4);
        QTest::newRow("a lone CR ends no line")
            << limit + "333\r" + limit << limit + notShown(3 + 1 + ConsoleLineLimit);
        QTest::newRow("a symbol counts as one shown character")
            << QString(ConsoleLineLimit - 1, u'x') + QStringLiteral("\u0007y")
            << QString(ConsoleLineLimit - 1, u'x') +
                   QStringLiteral("\u2407[\u2026 1 character not shown]");
        QTest::newRow("NUL") << QStringLiteral("before") + QChar(0) + "after\n"
                             << QStringLiteral("before\u2400after\n");
        QTest::newRow("NUL past the limit is only counted")
            << limit + QChar(0) + "z" << limit + notShown(2);
        QTest::newRow("a pair of surrogates is not split")
            << QString(ConsoleLineLimit - 1, u'x') + QStringLiteral("\U0001F600y")
            << QString(ConsoleLineLimit - 1, u'x') + notShown(3);
        QTest::newRow("a pair just inside stays")
            << QString(ConsoleLineLimit - 2, u'x') + QStringLiteral("\U0001F600yz")
            << QString(ConsoleLineLimit - 2, u'x') + QStringLiteral("\U0001F600") + notShown(2);
    }

    void consoleShapesEachLine() {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(shapeConsoleText(text), shown);
    }

    // Each row prints something hostile in answer to "devices"; the console
    // is as shown, with ADB for the stand-in's path and SETUP for the line
    // naming the setup to check after adb failed, and the next listing,
    // an ordinary one, is read as if nothing had come before.
    void hostileOutputThenAnOrdinaryListing_data() {
        QTest::addColumn<QByteArray>("standardOutput");
        QTest::addColumn<QByteArray>("standardError");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<Ending>("ending");
        QTest::addColumn<QString>("console");
        QTest::addColumn<QStringList>("devices");

        using namespace ostrel::test::texts;
        const QByteArray mib(1 << 20, 'x');
        const QString shownMib = QString(ConsoleLineLimit, u'x') + notShown(mib.size() - 4096);
        const QString header = QStringLiteral("List of devices attached\n");
        QTest::newRow("1 MiB line on standard output")
            << mib + "\n"
            << QByteArray() << 0 << Ending::Exits << Checking + shownMib + "\n" + NoDeviceLines
            << QStringList();
        QTest::newRow("1 MiB line on standard error")
            << QByteArray() << "error: " + mib + "\n"
            << 1 << Ending::Exits
            << Checking +
                   "Error: adb devices failed (exit status 1).\nerror: " + QString(4096 - 7, u'x') +
                   notShown(mib.size() + 7 - 4096) + "\nSETUP"
            << QStringList();

        QByteArray manyLines = "List of devices attached\n";
        for (int i = 0; i < 100000; ++i)
            manyLines += "line " + QByteArray::number(i) + "\n";
        manyLines += "LAST\tdevice\n";
        QTest::newRow("100 000 lines")
            << manyLines << QByteArray() << 0 << Ending::Exits
            << Checking + QString::fromLatin1(manyLines) << QStringList{"LAST"};
        QTest::newRow("NUL") << QByteArray("before\0after\n", 13) << QByteArray() << 0
                             << Ending::Exits
                             << Checking + QStringLiteral("before\u2400after\n") + NoDeviceLines
                             << QStringList();
        // The serial stays as adb gave it, for the commands; the console
        // shows its controls as symbols.
        QTest::newRow("controls in a serial")
            << QByteArray("List of devices attached\nAB\x1b[31mC\x07"
                          "D\xc2\x9b"
                          "E\xe2\x80\xae"
                          "F\tdevice\n")
            << QByteArray() << 0 << Ending::Exits
            << Checking + header +
                   QStringLiteral("AB\u241B[31mC\u2407D<U+009B>E<U+202E>F\tdevice\n")
            << QStringList{QStringLiteral("AB\u001B[31mC\u0007D\u009BE\u202EF")};
        QTest::newRow("invalid UTF-8")
            << QByteArray("caf\xc3\xa9 \xff\xfe\x80 done\nand cut \xc3") << QByteArray() << 0
            << Ending::Exits
            << Checking + QStringLiteral("caf\u00e9 \ufffd\ufffd\ufffd done\nand cut \ufffd\n") +
                   NoDeviceLines
            << QStringList();
        QTest::newRow("last line without its end counts")
            << QByteArray("List of devices attached\nSERIAL\tdevice") << QByteArray() << 0
            << Ending::Exits << Checking + header + "SERIAL\tdevice" << QStringList{"SERIAL"};
        QTest::newRow("error after a line without its end starts a line")
            << QByteArray("List of devices attached\nnothing here") << QByteArray() << 0
            << Ending::Exits << Checking + header + "nothing here\n" + NoDeviceLines
            << QStringList();
        QTest::newRow("line cut by a crash")
            << QByteArray("List of devices attached\nSERIAL\tdev") << QByteArray() << 0
            << Ending::Crashes << Checking + header + "Error: ADB ended abnormally.\nSETUP"
            << QStringList();
        QTest::newRow("crash within the first line")
            << QByteArray("SERIAL\tdevi") << QByteArray() << 0 << Ending::Crashes
            << Checking + "Error: ADB ended abnormally.\nSETUP" << QStringList();
        QTest::newRow("line cut by the time limit")
            << QByteArray("List of devices attached\nSERIAL\tdevi") << QByteArray() << 0
            << Ending::TimeLimit
            << Checking + header +
                   "Error: ADB did not finish within 1.5 seconds and was stopped.\nSETUP"
            << QStringList();
    }

    void hostileOutputThenAnOrdinaryListing() {
        QFETCH(QByteArray, standardOutput);
        QFETCH(QByteArray, standardError);
        QFETCH(int, exitCode);
        QFETCH(Ending, ending);
        QFETCH(QString, console);
        QFETCH(QStringList, devices);

        QElapsedTimer clock;
        clock.start();
        Waits waits = fastWaits();
        if (ending == Ending::TimeLimit)
            waits.commandTimeout = std::chrono::milliseconds(1500);
        StandInFixture f(waits);
        f.adb.setStandardOutput(standardOutput);
        f.adb.setStandardError(standardError);
        f.adb.setExitCode(exitCode);
        f.adb.setCrashes(ending == Ending::Crashes);
        f.adb.setSleepSeconds(ending == Ending::TimeLimit ? 30 : 0);
        f.listDevices();
        const QString setup =
            adbSetupToCheck(f.adb.path(), QProcessEnvironment::systemEnvironment())
                .replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        QCOMPARE(f.seen.console,
                 QString(console).replace("ADB", f.adb.path()).replace("SETUP", setup));
        QCOMPARE(f.usableSerials(), devices);

        f.adb.setStandardOutput(NextListing.toUtf8());
        f.adb.setStandardError({});
        f.adb.setExitCode(0);
        f.adb.setCrashes(false);
        f.adb.setSleepSeconds(0);
        f.seen.clear();
        f.listDevices();
        // The phone the first listing selected has gone, and the user hears so.
        const QString left = devices.isEmpty() ? QString()
                                               : "Device " + visibleText(devices.first()) +
                                                     " is no longer attached.\n";
        QCOMPARE(f.seen.console, Checking + NextListing + left);
        QCOMPARE(f.usableSerials(), QStringList{"NEXT"});
        QVERIFY2(clock.elapsed() < 20000, qPrintable(QString::number(clock.elapsed())));
    }
};

QTEST_GUILESS_MAIN(PathologicalOutputTest)
#include "test_pathological_output.moc"
