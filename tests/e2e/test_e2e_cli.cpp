// SPDX-License-Identifier: GPL-3.0-or-later
// The command line for scripts, run as the built program with no display,
// through the real adb against simulated phones.
#include "core/session/ServerOutput.h"
#include "e2e/AdbServerScope.h"
#include "e2e/CliRun.h"
#include "e2e/LoopbackProbe.h"
#include "e2e/SimulatedPhone.h"
#include "support/PhoneCommands.h"
#include "support/StandInAdb.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <list>
#include <sys/stat.h>

using namespace ostrel::e2e;
using namespace ostrel::test::phone;

namespace {

const QString Program = QStringLiteral(OSTREL_DRAVIK_EXECUTABLE);
constexpr int RunTimeoutMs = 60000;

const QString NoDisplayLine = QStringLiteral(
    "Error: there is no display to open the window on; the verbs (--devices, "
    "--start, --stop, --forward, --disconnect, --watch, --connect) work without one.\n");

// The program as a script starts it: no display of any kind, and settings
// read from the scope's private HOME; `extra` is added to its environment.
void prepare(QProcess& process, const QStringList& arguments,
             const QProcessEnvironment& extra = {}) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "XDG_CONFIG_HOME"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(extra);
    process.setProcessEnvironment(environment);
    process.setProgram(Program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
}

CliRun collect(QProcess& process) {
    return collectRun(process, RunTimeoutMs);
}

CliRun runProgram(const QStringList& arguments, const QProcessEnvironment& extra = {}) {
    QProcess process;
    prepare(process, arguments, extra);
    process.start();
    return collect(process);
}

// What the output file's name and folder hold, as a test plants them.
enum class Planted { LinkToFile, DanglingLink, NamedPipe, LinkedFolder };

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

mode_t modeOf(const QString& path) {
    struct stat status {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode : 0;
}

// The phone's view of an adb device command: the words after "shell".
QStringList onPhone(QStringList adbArguments) {
    adbArguments.removeFirst();
    return adbArguments;
}

QString listing(const QStringList& serials) {
    QString text = QStringLiteral("Checking Android devices...\nList of devices attached\n");
    for (const QString& serial : serials)
        text += serial + QStringLiteral("\tdevice\n");
    return text + QLatin1Char('\n');
}

// A VNC port whose web port, 100 below, is free as well.
quint16 freePortPair() {
    for (int attempt = 0; attempt < 50; ++attempt) {
        QTcpServer vnc;
        QTcpServer web;
        if (vnc.listen(QHostAddress::LocalHost, 0) && vnc.serverPort() > 1124 &&
            web.listen(QHostAddress::LocalHost, vnc.serverPort() - 100))
            return vnc.serverPort();
    }
    return 0;
}

// A private adb server and its phones; the phones end before the server.
class World {
public:
    SimulatedPhone* attach(const PhoneScenario& scenario, QString* why) {
        if (!scope_.problem().isEmpty()) {
            *why = scope_.problem();
            return nullptr;
        }
        SimulatedPhone& phone = phones_.emplace_back();
        if (!phone.start(scenario, why) || !scope_.connect(phone, QStringLiteral("device"), why))
            return nullptr;
        return &phone;
    }

    // The program with the scope's adb named on its command line.
    CliRun run(const QStringList& arguments, const QProcessEnvironment& extra = {}) const {
        return runProgram(QStringList{QStringLiteral("--adb"), scope_.adbPath()} + arguments,
                          extra);
    }

    // As run() does, with standard output read by `head -1`; the exit status
    // is the program's.
    CliRun runIntoHead(const QStringList& arguments) const {
        QProcess pipeline;
        prepare(pipeline, {});
        pipeline.setProgram(QStringLiteral("bash"));
        pipeline.setArguments(
            QStringList{
                QStringLiteral("-c"), QStringLiteral("\"$@\" | head -1; exit \"${PIPESTATUS[0]}\""),
                QStringLiteral("bash"), Program, QStringLiteral("--adb"), scope_.adbPath()} +
            arguments);
        pipeline.start();
        return collect(pipeline);
    }

    bool serverListed(const SimulatedPhone& phone) const {
        return scope_.shell(phone, {QStringLiteral("ps")})
            .standardOutput.contains("ostrelvncserver");
    }

    AdbServerScope& scope() { return scope_; }

private:
    AdbServerScope scope_;
    std::list<SimulatedPhone> phones_;
};

} // namespace

Q_DECLARE_METATYPE(Planted)

// A program that runs until stopped, whose standard output is read as it comes.
class Running {
public:
    explicit Running(const QStringList& arguments, const QProcessEnvironment& extra = {}) {
        prepare(process_, arguments, extra);
        process_.start();
    }
    // Everything written so far.
    QString out() {
        out_ += QString::fromUtf8(process_.readAllStandardOutput());
        return out_;
    }
    CliRun stop(int signalNumber) {
        ::kill(static_cast<pid_t>(process_.processId()), signalNumber);
        CliRun run = collect(process_);
        run.out.prepend(out_);
        return run;
    }

private:
    QProcess process_;
    QString out_;
};

#define ATTACH(phone, world, scenario)                                                             \
    SimulatedPhone* phone = nullptr;                                                               \
    do {                                                                                           \
        QString why;                                                                               \
        phone = (world).attach(scenario, &why);                                                    \
        QVERIFY2(phone != nullptr, qPrintable(why));                                               \
    } while (false)

#define CHECK_RUN(run, status)                                                                     \
    QVERIFY2((run).finished && (run).exitCode == (status), qPrintable((run).story()))

class E2eCliTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(QFileInfo(Program).isExecutable(), qPrintable(Program));
        const AdbServerScope scope;
        QVERIFY2(scope.problem().isEmpty(), qPrintable(scope.problem()));
    }

    // Usage errors are refused before any adb runs; a port the parser takes
    // reaches the device search, which finds none here.
    void arguments_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("complaint");
        const QString noDevice = QStringLiteral("Error: no android device is connected.\n");
        QTest::newRow("two verbs")
            << QStringList{"--start", "--stop"} << 2 << QStringLiteral("only one");
        QTest::newRow("verb and a word")
            << QStringList{"--start", "now"} << 2 << QStringLiteral("'now'");
        QTest::newRow("unknown option")
            << QStringList{"--stop", "--fast"} << 2 << QStringLiteral("'fast'");
        QTest::newRow("forward without port")
            << QStringList{"--forward"} << 2 << QStringLiteral("--forward");
        QTest::newRow("port 0") << QStringList{"--forward", "0"} << 2 << QStringLiteral("'0'");
        QTest::newRow("port 65536")
            << QStringList{"--forward", "65536"} << 2 << QStringLiteral("'65536'");
        QTest::newRow("port with letters")
            << QStringList{"--forward", "59o1"} << 2 << QStringLiteral("'59o1'");
        QTest::newRow("port with sign")
            << QStringList{"--forward=+5901"} << 2 << QStringLiteral("'+5901'");
        QTest::newRow("port with a space inside")
            << QStringList{"--forward", "59 01"} << 2 << QStringLiteral("'59 01'");
        QTest::newRow("port with a letter after")
            << QStringList{"--forward=5901x"} << 2 << QStringLiteral("'5901x'");
        QTest::newRow("port in full-width digits")
            << QStringList{QStringLiteral("--forward=\uFF15\uFF19\uFF10\uFF11")} << 2
            << QStringLiteral("'\uFF15\uFF19\uFF10\uFF11'");
        QTest::newRow("option of nobody's") << QStringList{"--bogus"} << 2 << "'bogus'";
        QTest::newRow("word of nobody's") << QStringList{"bogus"} << 2 << "'bogus'";
        QTest::newRow("option without a verb")
            << QStringList{"--serial", "A1"} << 2 << QStringLiteral("Name one of");
        QTest::newRow("empty serial")
            << QStringList{"--devices", "--serial="} << 2 << QStringLiteral("--serial");
        QTest::newRow("port 1") << QStringList{"--forward", "1"} << 1 << noDevice;
        QTest::newRow("port with white space around")
            << QStringList{"--forward", " 05901 "} << 1 << noDevice;
        QTest::newRow("Qt's option beside a verb")
            << QStringList{"--stop", "-style", "fusion"} << 1 << noDevice;
        QTest::newRow("port 65535") << QStringList{"--forward=65535"} << 1 << noDevice;
        QTest::newRow("devices") << QStringList{"--devices"} << 1 << noDevice;
        QTest::newRow("start") << QStringList{"--start"} << 1 << noDevice;
        QTest::newRow("stop") << QStringList{"--stop"} << 1 << noDevice;
    }
    void arguments() {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, complaint);
        World world;
        const CliRun run = world.run(arguments);
        CHECK_RUN(run, status);
        QVERIFY2(run.err.startsWith(QStringLiteral("Error: ")) && run.err.contains(complaint),
                 qPrintable(run.story()));
        if (status == 2) {
            QCOMPARE(run.out, QString());
            QVERIFY(run.err.contains(QStringLiteral("--help")));
            QCOMPARE(run.err.count(QLatin1Char('\n')), 1);
        } else {
            QVERIFY2(!run.out.contains(QStringLiteral("Error")), qPrintable(run.story()));
        }
    }

    void helpAndVersionNeedNoAdb_data() {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("shown");
        QTest::newRow("help") << QStringLiteral("--help") << QStringLiteral("--forward <PORT>");
        QTest::newRow("-h") << QStringLiteral("-h") << QStringLiteral("--serial <SERIAL>");
        QTest::newRow("version") << QStringLiteral("--version")
                                 << QStringLiteral("Ostrel Dravik " OSTREL_VERSION
                                                   "\nLicence: GPL-3.0-or-later\n");
    }
    void helpAndVersionNeedNoAdb() {
        QFETCH(QString, argument);
        QFETCH(QString, shown);
        const CliRun run =
            runProgram({argument, QStringLiteral("--adb"), QStringLiteral("/nonexistent/adb")});
        CHECK_RUN(run, 0);
        QVERIFY2(run.out.contains(shown), qPrintable(run.story()));
        QCOMPARE(run.err, QString());
    }

    // Without a verb the arguments are the window's: with no display that is
    // said in one line, and anything that is not Qt's own is a usage error.
    void withoutADisplay_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("error");
        const QString bogus = QStringLiteral(
            "Error: Unknown option 'bogus'. See \"ostrel-dravik --help\" for the verbs and "
            "options.\n");
        QTest::newRow("no verb") << QStringList{} << 1 << NoDisplayLine;
        QTest::newRow("Qt's options alone")
            << QStringList{"-style", "fusion", "--reverse"} << 1 << NoDisplayLine;
        QTest::newRow("an unknown option") << QStringList{"--bogus"} << 2 << bogus;
        QTest::newRow("an unknown single-dash option") << QStringList{"-bogus"} << 2 << bogus;
        const QString viewLine = QStringLiteral(
            "Error: --view shows the device's screen in a window, and there is no display to "
            "open it on.\n");
        QTest::newRow("--view") << QStringList{"--view"} << 1 << viewLine;
        QTest::newRow("--view with its options")
            << QStringList{"--view", "--serial", "A1", "--port", "5902"} << 1 << viewLine;
    }
    void withoutADisplay() {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, error);
        const CliRun run = runProgram(arguments);
        CHECK_RUN(run, status);
        QCOMPARE(run.err, error);
        QCOMPARE(run.out, QString());
    }

    // A platform named by hand needs no display: the window program takes
    // over the process, with the arguments as given.
    void platformNamedOpensTheWindow() {
        const QTemporaryDir home;
        QProcessEnvironment extra;
        extra.insert(QStringLiteral("HOME"), home.path());
        QProcess process;
        prepare(process, {QStringLiteral("-platform"), QStringLiteral("offscreen")}, extra);
        process.start();
        QVERIFY(process.waitForStarted());
        const QString window =
            QFileInfo(Program).dir().filePath(QStringLiteral("ostrel-dravik-window"));
        const QString exe = QStringLiteral("/proc/%1/exe").arg(process.processId());
        QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(exe).symLinkTarget(), window, 10000);
        // exec switches the executable a moment before it lays out the new
        // arguments, so the command line may read empty for an instant.
        const QString cmdline = QStringLiteral("/proc/%1/cmdline").arg(process.processId());
        const auto arguments = [&cmdline] {
            QFile file(cmdline);
            return file.open(QIODevice::ReadOnly) ? file.readAll().split('\0').mid(1, 2)
                                                  : QList<QByteArray>{};
        };
        QTRY_COMPARE_WITH_TIMEOUT(arguments(), (QList<QByteArray>{"-platform", "offscreen"}),
                                  10000);
        QVERIFY(!process.waitForFinished(1000)); // the window stays up
        process.terminate();
        QVERIFY(process.waitForFinished(10000));
    }

    // A serial is whatever a USB device says it is; on a terminal its
    // controls show as symbols and cannot drive the terminal.
    void controlsInASerialShowAsSymbols() {
        const QTemporaryDir directory;
        ostrel::test::StandInAdb adb(directory.filePath(QStringLiteral("adb-bin")));
        adb.setStandardOutput("List of devices attached\n"
                              "AB\x1b[31mC\x07"
                              "D\xc2\x9b"
                              "E\xe2\x80\xae"
                              "F\tdevice\n");
        const CliRun run =
            runProgram({QStringLiteral("--adb"), adb.path(), QStringLiteral("--devices")});
        CHECK_RUN(run, 0);
        QCOMPARE(run.out, QStringLiteral("AB\u241B[31mC\u2407D<U+009B>E<U+202E>F\n"));
        QCOMPARE(run.err, QString());
    }

    // Standard output carries serials alone, whatever adb said on the way.
    void devicesListsSerialsOnly() {
        World world;
        ATTACH(first, world, PhoneScenario{});
        ATTACH(second, world, PhoneScenario{});

        const CliRun all = world.run({QStringLiteral("--devices")});
        CHECK_RUN(all, 0);
        const QStringList lines = all.out.split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines.last(), QString());
        QCOMPARE(QSet<QString>(lines.begin(), lines.end() - 1),
                 (QSet<QString>{first->serial(), second->serial()}));
        QCOMPARE(all.err, QString());

        const CliRun one =
            world.run({QStringLiteral("--devices"), QStringLiteral("--serial"), second->serial()});
        CHECK_RUN(one, 0);
        QCOMPARE(one.out, second->serial() + QLatin1Char('\n'));

        const CliRun unknown = world.run(
            {QStringLiteral("--devices"), QStringLiteral("--serial"), QStringLiteral("nosuch")});
        CHECK_RUN(unknown, 1);
        QCOMPARE(unknown.out, QString());
        QVERIFY2(unknown.err.contains(QStringLiteral("nosuch")), qPrintable(unknown.story()));
        QVERIFY(first->commandLog().isEmpty());
        QVERIFY(second->commandLog().isEmpty());
    }

    // Each verb asked twice: the second finds the state already reached and
    // leaves the server alone.
    void startThenStopTwice() {
        World world;
        ATTACH(phone, world, PhoneScenario{});
        const QString listed = listing({phone->serial()});

        const CliRun start = world.run({QStringLiteral("--start")});
        CHECK_RUN(start, 0);
        QVERIFY2(start.out.startsWith(QStringLiteral("Starting Ostrel VNC Server on device...\n") +
                                      listed),
                 qPrintable(start.story()));
        QVERIFY2(start.out.contains(QStringLiteral("Ostrel VNC Server is successfully started.\n")),
                 qPrintable(start.story()));
        QVERIFY2(!start.out.contains(QLatin1Char('\r')), qPrintable(start.story()));
        QCOMPARE(start.err, QString());
        QVERIFY(world.serverListed(*phone));
        // The presence check comes first, so that the listing knows what to look for.
        const QList<QStringList> log = phone->commandLog();
        QVERIFY(log.size() > 2);
        QCOMPARE(log.at(0), onPhone(fileList(FirstPackage)));
        QCOMPARE(log.at(1), onPhone(processList()));
        QCOMPARE(log.count(onPhone(runServer(FirstPackage))), 1);

        const CliRun again = world.run({QStringLiteral("--start")});
        CHECK_RUN(again, 0);
        QCOMPARE(again.out, QStringLiteral("Starting Ostrel VNC Server on device...\n") + listed +
                                QStringLiteral("Ostrel VNC Server is already running on the "
                                               "device.\n"));
        QCOMPARE(phone->commandLog().count(onPhone(runServer(FirstPackage))), 1);
        QCOMPARE(phone->commandLog().count(onPhone(launchActivity(FirstPackage))), 1);

        const CliRun stop = world.run({QStringLiteral("--stop")});
        CHECK_RUN(stop, 0);
        QVERIFY2(stop.out.startsWith(QStringLiteral("Stopping Ostrel VNC Server on device...\n") +
                                     listed),
                 qPrintable(stop.story()));
        QVERIFY2(
            stop.out.endsWith(QStringLiteral("Ostrel VNC Server is successfully stopped.\n\n")),
            qPrintable(stop.story()));
        QCOMPARE(stop.err, QString());
        QVERIFY(!world.serverListed(*phone));

        const CliRun stopAgain = world.run({QStringLiteral("--stop")});
        CHECK_RUN(stopAgain, 0);
        QCOMPARE(stopAgain.out, QStringLiteral("Stopping Ostrel VNC Server on device...\n") +
                                    listed +
                                    QStringLiteral("Ostrel VNC Server is not running on the "
                                                   "device.\n"));
        QCOMPARE(phone->commandLog().count(onPhone(stopServer(FirstPackage))), 1);
    }

    // A reader that leaves early ends nothing half-way: the start goes on to
    // the running server, and its exit status says so.
    void startPipedIntoHeadReachesTheState() {
        World world;
        ATTACH(phone, world, PhoneScenario{});
        const CliRun run = world.runIntoHead({QStringLiteral("--start")});
        CHECK_RUN(run, 0);
        QCOMPARE(run.out, QStringLiteral("Starting Ostrel VNC Server on device...\n"));
        QCOMPARE(run.err, QString());
        QVERIFY(world.serverListed(*phone));
    }

    // Whatever is planted at the server output file's name, or its folder's,
    // stays exactly as it was, and the start ends as it would without it.
    void startLeavesPlantedThingsAlone_data() {
        QTest::addColumn<Planted>("planted");
        QTest::newRow("link to a file") << Planted::LinkToFile;
        QTest::newRow("dangling link") << Planted::DanglingLink;
        QTest::newRow("named pipe") << Planted::NamedPipe;
        QTest::newRow("linked folder") << Planted::LinkedFolder;
    }
    void startLeavesPlantedThingsAlone() {
        QFETCH(Planted, planted);
        World world;
        ATTACH(phone, world, PhoneScenario{});
        const QTemporaryDir runtime;
        // The program's own folder below the runtime folder, named for it.
        const QString folder = runtime.filePath(QStringLiteral("Ostrel_Dravik"));
        const QString file = folder + QLatin1Char('/') + ostrel::serverOutputName(phone->serial());
        const QString outside = runtime.filePath(QStringLiteral("outside"));
        QVERIFY(QDir().mkpath(outside));
        QCOMPARE(::chmod(QFile::encodeName(outside).constData(), 0755), 0);
        const QString target = outside + QStringLiteral("/target");
        {
            QFile precious(target);
            QVERIFY(precious.open(QIODevice::WriteOnly));
            precious.write("precious\n");
        }
        QCOMPARE(::chmod(QFile::encodeName(target).constData(), 0644), 0);
        if (planted != Planted::LinkedFolder) {
            QVERIFY(QDir().mkpath(folder));
            QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0700), 0);
        }
        switch (planted) {
        case Planted::LinkToFile:
            QVERIFY(QFile::link(target, file));
            break;
        case Planted::DanglingLink:
            QVERIFY(QFile::link(outside + QStringLiteral("/never-made"), file));
            break;
        case Planted::NamedPipe:
            QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
            break;
        case Planted::LinkedFolder:
            QVERIFY(QFile::link(outside, folder));
            break;
        }
        QProcessEnvironment extra;
        extra.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());

        QElapsedTimer clock;
        clock.start();
        const CliRun start = world.run({QStringLiteral("--start")}, extra);
        CHECK_RUN(start, 0);
        QVERIFY2(clock.elapsed() < 20000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(world.serverListed(*phone));
        QCOMPARE(contentOf(target), QByteArray("precious\n"));
        QCOMPARE(modeOf(target) & 07777, mode_t(0644));
        QCOMPARE(modeOf(outside) & 07777, mode_t(0755));
        QCOMPARE(QDir(outside).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("target")});
        // A folder the run made for itself went with it.
        QCOMPARE(
            QDir(runtime.path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
            (QStringList{QStringLiteral("Ostrel_Dravik"), QStringLiteral("outside")}));
        const QString linkNote = folder + QStringLiteral(" is a link, so the server's output");
        QCOMPARE(start.err.count(linkNote), planted == Planted::LinkedFolder ? 1 : 0);
    }

    void serverRunningBeforehandIsNotLaunchedAgain() {
        World world;
        PhoneScenario scenario;
        scenario.alreadyRunning = true;
        ATTACH(phone, world, scenario);

        const CliRun start = world.run({QStringLiteral("--start")});
        CHECK_RUN(start, 0);
        QVERIFY2(start.out.endsWith(QStringLiteral("already running on the device.\n")),
                 qPrintable(start.story()));
        QCOMPARE(phone->commandLog(),
                 (QList<QStringList>{onPhone(fileList(FirstPackage)), onPhone(processList())}));
    }

    void stopWithoutTheAppReachesTheState() {
        World world;
        PhoneScenario scenario;
        scenario.package = PhoneScenario::Package::None;
        ATTACH(phone, world, scenario);

        const CliRun stop = world.run({QStringLiteral("--stop")});
        CHECK_RUN(stop, 0);
        QVERIFY2(stop.out.endsWith(QStringLiteral(
                     "Ostrel VNC Server is not installed on the device, so it is not running.\n")),
                 qPrintable(stop.story()));
        QCOMPARE(stop.err, QString());
        QVERIFY(!phone->commandLog().contains(onPhone(processList())));
    }

    // Nothing is done on any phone until the script has said which one.
    void severalPhones_data() {
        QTest::addColumn<QString>("verb");
        QTest::newRow("start") << QStringLiteral("--start");
        QTest::newRow("stop") << QStringLiteral("--stop");
        QTest::newRow("forward") << QStringLiteral("--forward=5901");
    }
    void severalPhones() {
        QFETCH(QString, verb);
        World world;
        ATTACH(first, world, PhoneScenario{});
        ATTACH(second, world, PhoneScenario{});

        const CliRun unnamed = world.run({verb});
        CHECK_RUN(unnamed, 1);
        QVERIFY2(unnamed.err.startsWith(QStringLiteral("Error: 2 devices are attached")) &&
                     unnamed.err.contains(first->serial()) &&
                     unnamed.err.contains(second->serial()),
                 qPrintable(unnamed.story()));

        const CliRun unknown =
            world.run({verb, QStringLiteral("--serial"), QStringLiteral("127.0.0.1:1")});
        CHECK_RUN(unknown, 1);
        QVERIFY2(unknown.err.startsWith(
                     QStringLiteral("Error: no device with the serial 127.0.0.1:1 is attached.")),
                 qPrintable(unknown.story()));

        QVERIFY(first->commandLog().isEmpty());
        QVERIFY(second->commandLog().isEmpty());
    }

    void startOnTheNamedOfTwoPhones() {
        World world;
        ATTACH(first, world, PhoneScenario{});
        ATTACH(second, world, PhoneScenario{});

        const CliRun start =
            world.run({QStringLiteral("--start"), QStringLiteral("--serial"), second->serial()});
        CHECK_RUN(start, 0);
        QVERIFY(first->commandLog().isEmpty());
        QVERIFY(world.serverListed(*second));
        QVERIFY(!world.serverListed(*first));
    }

    // Both forwards hold after the program has ended: it leaves adb's server
    // running. The phone's server was never started, so nothing greets
    // through the forward: one line says so, and the forwards still count.
    void forwardBothPorts() {
        World world;
        const quint16 port = freePortPair();
        QVERIFY(port != 0);
        PhoneScenario scenario;
        scenario.vncPort = port;
        ATTACH(phone, world, scenario);

        const CliRun forward = world.run({QStringLiteral("--forward"), QString::number(port)});
        CHECK_RUN(forward, 0);
        QVERIFY2(
            forward.out.contains(QStringLiteral("\n    vnc://localhost:%1\n").arg(port)) &&
                forward.out.contains(QStringLiteral("\n    http://localhost:%1\n").arg(port - 100)),
            qPrintable(forward.story()));
        QVERIFY2(!forward.out.contains(QLatin1Char('\r')), qPrintable(forward.story()));
        QCOMPARE(forward.err,
                 QStringLiteral("Nothing answers on localhost:%1 yet: start the server on the "
                                "phone.\n")
                     .arg(port));
        const QString forwards =
            QString::fromUtf8(world.scope()
                                  .run({QStringLiteral("forward"), QStringLiteral("--list")})
                                  .standardOutput);
        QVERIFY2(forwards.contains(QStringLiteral("tcp:%1 tcp:%1").arg(port)) &&
                     forwards.contains(QStringLiteral("tcp:%1 tcp:%1").arg(port - 100)),
                 qPrintable(forwards));
    }

    // --connect: standard output holds the two addresses alone, and only a
    // greeting read through the forward is success. The server is started
    // on the way; given the wrong port, nothing answers and nothing is printed.
    void connectPrintsTheAddresses_data() {
        QTest::addColumn<int>("offset"); // of the port given from the phone's own
        QTest::addColumn<int>("status");
        QTest::newRow("the phone's port") << 0 << 0;
        QTest::newRow("a port nothing listens on") << 1 << 1;
    }
    void connectPrintsTheAddresses() {
        QFETCH(int, offset);
        QFETCH(int, status);
        World world;
        const quint16 port = freePortPair();
        QVERIFY(port != 0);
        PhoneScenario scenario;
        scenario.vncPort = port - offset;
        ATTACH(phone, world, scenario);

        const CliRun connect = world.run(
            {QStringLiteral("--connect"), QStringLiteral("--port"), QString::number(port)});
        CHECK_RUN(connect, status);
        if (status == 0) {
            QCOMPARE(connect.out, QStringLiteral("vnc://localhost:%1\nhttp://localhost:%2\n")
                                      .arg(port)
                                      .arg(port - 100));
            QCOMPARE(connect.err, QString());
            QCOMPARE(readFirstLine(port), QByteArray("RFB 003.008\n"));
            QVERIFY(world.serverListed(*phone));
        } else {
            QCOMPARE(connect.out, QString());
            QVERIFY2(connect.err.startsWith(
                         QStringLiteral("Error: nothing answered on localhost:%1 within 5 seconds.")
                             .arg(port)),
                     qPrintable(connect.story()));
            QCOMPARE(connect.err.count(QLatin1Char('\n')), 1);
        }
    }

    // The VNC forward alone is not the state asked for.
    void forwardWithTheWebPortTaken() {
        World world;
        const quint16 port = freePortPair();
        QVERIFY(port != 0);
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::LocalHost, port - 100));
        PhoneScenario scenario;
        scenario.vncPort = port;
        ATTACH(phone, world, scenario);

        const CliRun forward = world.run({QStringLiteral("--forward"), QString::number(port)});
        CHECK_RUN(forward, 1);
        QVERIFY2(forward.out.contains(QStringLiteral("vnc://localhost:%1\n").arg(port)),
                 qPrintable(forward.story()));
        QVERIFY2(!forward.out.contains(QStringLiteral("http://")), qPrintable(forward.story()));
        QVERIFY2(forward.err.contains(QStringLiteral("Address already in use")),
                 qPrintable(forward.story()));
    }

    // The window's setting is the command line's too; --adb overrides it for
    // one run and leaves it as it was.
    void adbSettingAndOverride() {
        World world;
        ATTACH(phone, world, PhoneScenario{});
        const QString settingsDirectory =
            qEnvironmentVariable("HOME") + QStringLiteral("/.config/Ostrel");
        QVERIFY(QDir().mkpath(settingsDirectory));
        QFile settings(settingsDirectory + QStringLiteral("/Ostrel Dravik.conf"));
        const QByteArray stored = "[General]\nadb=/nonexistent/chosen-adb\n";
        QVERIFY(settings.open(QIODevice::WriteOnly) && settings.write(stored) == stored.size());
        settings.close();

        const CliRun chosen = runProgram({QStringLiteral("--devices")});
        CHECK_RUN(chosen, 1);
        // The one error line, and no diagnostic log beside it.
        QCOMPARE(chosen.err, QStringLiteral("Error: adb could not be run: /nonexistent/chosen-adb "
                                            "does not exist. Click the adb button to choose the "
                                            "adb executable.\n"));
        QCOMPARE(chosen.out, QString());

        const CliRun overridden = world.run({QStringLiteral("--devices")});
        CHECK_RUN(overridden, 0);
        QCOMPARE(overridden.out, phone->serial() + QLatin1Char('\n'));
        QVERIFY(settings.open(QIODevice::ReadOnly));
        QCOMPARE(settings.readAll(), stored);
    }

    // The phone has no app, so the start waits for its executable: the
    // signal lands in that wait and nothing is said after it.
    void signalCancelsTheFlow_data() {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGTERM") << int(SIGTERM);
    }
    void signalCancelsTheFlow() {
        QFETCH(int, signalNumber);
        World world;
        PhoneScenario scenario;
        scenario.package = PhoneScenario::Package::None;
        ATTACH(phone, world, scenario);

        QProcess process;
        prepare(process,
                {QStringLiteral("--adb"), world.scope().adbPath(), QStringLiteral("--start")});
        process.start();
        QTRY_VERIFY_WITH_TIMEOUT(phone->commandLog().count(onPhone(fileList(SecondPackage))) >= 2,
                                 20000);
        QElapsedTimer clock;
        clock.start();
        ::kill(static_cast<pid_t>(process.processId()), signalNumber);
        const CliRun run = collect(process);

        CHECK_RUN(run, 128 + signalNumber);
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(run.out, QStringLiteral("Starting Ostrel VNC Server on device...\n") +
                              listing({phone->serial()}));
        QCOMPARE(run.err, QString());
    }

    // The watch starts adb's server itself, then gives a line for each phone
    // that comes and one for each that goes; with --serial only that phone's.
    void watchFollowsPhones() {
        World world;
        QVERIFY(!world.scope().serverAnswers());
        const QStringList adb{QStringLiteral("--adb"), world.scope().adbPath()};
        Running all(adb + QStringList{QStringLiteral("--watch")});
        QTRY_VERIFY_WITH_TIMEOUT(world.scope().serverAnswers(), 10000);
        ATTACH(first, world, PhoneScenario{});
        QTRY_VERIFY_WITH_TIMEOUT(all.out().endsWith(first->serial() + QStringLiteral("\tdevice\n")),
                                 5000);
        Running one(adb + QStringList{QStringLiteral("--watch"), QStringLiteral("--serial"),
                                      first->serial()});
        QTRY_COMPARE_WITH_TIMEOUT(one.out(), first->serial() + QStringLiteral("\tdevice\n"), 5000);

        ATTACH(second, world, PhoneScenario{});
        const QString arrived = second->serial() + QStringLiteral("\tdevice\n");
        QTRY_VERIFY_WITH_TIMEOUT(all.out().endsWith(arrived), 5000);
        QCOMPARE(world.scope().run({QStringLiteral("disconnect"), second->serial()}).exitCode, 0);
        const QString gone = second->serial() + QStringLiteral("\tgone\n");
        QTRY_VERIFY_WITH_TIMEOUT(all.out().endsWith(arrived + gone), 5000);

        const CliRun interrupted = all.stop(SIGINT);
        CHECK_RUN(interrupted, 130);
        QCOMPARE(interrupted.err, QString());
        const CliRun terminated = one.stop(SIGTERM);
        CHECK_RUN(terminated, 143);
        QCOMPARE(terminated.out, first->serial() + QStringLiteral("\tdevice\n"));
    }

    // A reader that has had enough ends the watch, at once and quietly.
    void watchPipedIntoHeadEnds() {
        World world;
        ATTACH(phone, world, PhoneScenario{});
        const CliRun run = world.runIntoHead({QStringLiteral("--watch")});
        CHECK_RUN(run, 0);
        QCOMPARE(run.out, phone->serial() + QStringLiteral("\tdevice\n"));
    }

    // An adb that cannot start a server: after five seconds the watch gives
    // up with the reason.
    void watchWithoutAServerGivesUp() {
        const QTemporaryDir directory;
        ostrel::test::StandInAdb adb(directory.filePath(QStringLiteral("adb-bin")));
        adb.setExitCode(1);
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        QProcessEnvironment extra;
        extra.insert(QStringLiteral("ANDROID_ADB_SERVER_PORT"),
                     QString::number(closed.serverPort()));
        closed.close();
        QElapsedTimer clock;
        clock.start();
        const CliRun run =
            runProgram({QStringLiteral("--adb"), adb.path(), QStringLiteral("--watch")}, extra);
        qInfo("gave up after %lld ms", clock.elapsed());
        CHECK_RUN(run, 1);
        QCOMPARE(run.out, QString());
        QVERIFY2(run.err.startsWith(QStringLiteral("Error: no adb server could be reached at ")),
                 qPrintable(run.story()));
        QVERIFY(adb.invocations().contains(QStringList{QStringLiteral("start-server")}));
    }

    // Started where PATH's "." and a relative ANDROID_HOME both hold an adb,
    // the command line runs neither and says on standard error, once, what
    // it left out.
    void adbIsNeverTakenFromTheCurrentFolder() {
        const QTemporaryDir startedIn;
        const ostrel::test::StandInAdb here(startedIn.path());
        const ostrel::test::StandInAdb inSdk(
            startedIn.filePath(QStringLiteral("sdk/platform-tools")));
        const QTemporaryDir settings; // no adb chosen
        QProcessEnvironment extra;
        extra.insert(QStringLiteral("PATH"), QStringLiteral("."));
        extra.insert(QStringLiteral("ANDROID_HOME"), QStringLiteral("sdk"));
        extra.insert(QStringLiteral("XDG_CONFIG_HOME"), settings.path());
        QProcess process;
        prepare(process, {QStringLiteral("--devices")}, extra);
        process.setWorkingDirectory(startedIn.path());
        process.start();
        const CliRun run = collect(process);

        CHECK_RUN(run, 1);
        QCOMPARE(here.invocations(), QList<QStringList>{});
        QCOMPARE(inSdk.invocations(), QList<QStringList>{});
        const QString note =
            QStringLiteral("Note: adb is looked for only in folders named in full; left out: "
                           "\"sdk\" in ANDROID_HOME, \".\" in PATH.\n");
        QVERIFY2(run.err.startsWith(note), qPrintable(run.story()));
        QCOMPARE(run.err.count(note), 1);
        QCOMPARE(run.out, QString());
    }
};

QTEST_GUILESS_MAIN(E2eCliTest)
#include "test_e2e_cli.moc"
