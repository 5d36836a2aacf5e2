// SPDX-License-Identifier: GPL-3.0-or-later
// When adb itself fails, through the real adb: the window and the command
// line say adb's own words and the setup to check, never that no phone is
// connected; and a serial adb cannot take gets no command at all.
#include "e2e/CliRun.h"
#include "e2e/ProgramSession.h"
#include "support/StandInAdb.h"

#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

using namespace ostrel::e2e;

namespace {

const QString Program = QStringLiteral(OSTREL_DRAVIK_EXECUTABLE);
const QString NoDevice = QStringLiteral("no android device is connected");
const QString Setup = QStringLiteral("Check the adb in effect (%1) and the server address %2.\n");

// An environment variable set for the life of the scope, then put back.
class VariableScope {
public:
    VariableScope(const QByteArray& name, const QByteArray& value)
        : name_(name), old_(qEnvironmentVariableIsSet(name.constData())
                                ? std::optional(qgetenv(name.constData()))
                                : std::nullopt) {
        qputenv(name_.constData(), value);
    }
    ~VariableScope() {
        if (old_)
            qputenv(name_.constData(), *old_);
        else
            qunsetenv(name_.constData());
    }
    VariableScope(const VariableScope&) = delete;
    VariableScope& operator=(const VariableScope&) = delete;

private:
    QByteArray name_;
    std::optional<QByteArray> old_;
};

quint16 closedLoopbackPort() {
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

// The program as a script runs it, without a display, its adb named.
CliRun runProgram(const QString& adb, const QStringList& arguments,
                  const QProcessEnvironment& extra) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "XDG_CONFIG_HOME"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(extra);
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(Program, QStringList{QStringLiteral("--adb"), adb} + arguments);
    return collectRun(process, 60000);
}

// Each way of giving adb a server it cannot use: the variable, its value,
// what adb 29 says (its words up to where they name the variable's value
// again), and the server part of the setup line.
void addEnvironmentCauses() {
    QTest::addColumn<QByteArray>("variable");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("adbSays");
    QTest::addColumn<QString>("server");
    QTest::newRow("socket that is no address")
        << QByteArray("ADB_SERVER_SOCKET") << QByteArray("garbage")
        << "cannot connect to daemon at garbage: unknown socket"
        << "the environment gives it: ADB_SERVER_SOCKET=garbage";
    QTest::newRow("port out of range")
        << QByteArray("ANDROID_ADB_SERVER_PORT") << QByteArray("70000")
        << "adb: $ANDROID_ADB_SERVER_PORT must be a positive number less than 65535: got "
           "\"70000\""
        << "the environment gives it: ANDROID_ADB_SERVER_PORT=70000";
    // adb starts a server only on its own machine's default address form, so
    // a closed port named in full stays closed.
    const QByteArray closed = "tcp:127.0.0.1:" + QByteArray::number(closedLoopbackPort());
    QTest::newRow("closed port")
        << QByteArray("ADB_SERVER_SOCKET") << closed
        << QStringLiteral("cannot connect to daemon at %1").arg(QString::fromLatin1(closed))
        << QStringLiteral("it tried: %1 (ADB_SERVER_SOCKET=%2)")
               .arg(QString::fromLatin1(closed.mid(4)), QString::fromLatin1(closed));
}

#define CHECK_RUN(run, status)                                                                     \
    QVERIFY2((run).finished && (run).exitCode == (status), qPrintable((run).story()))

} // namespace

class E2eAdbFailuresTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(QFileInfo(Program).isExecutable(), qPrintable(Program));
        ProgramSession session;
        const QString why = whyNotTheRealAdb(session);
        QVERIFY2(why.isEmpty(), qPrintable(why));
    }

    void theCommandLineSaysAdbsWords_data() { addEnvironmentCauses(); }
    void theCommandLineSaysAdbsWords() {
        QFETCH(QByteArray, variable);
        QFETCH(QByteArray, value);
        QFETCH(QString, adbSays);
        QFETCH(QString, server);
        const AdbServerScope scope; // no server of this machine's is reached or started
        QProcessEnvironment extra;
        extra.insert(QString::fromLatin1(variable), QString::fromLatin1(value));
        for (const QString& verb : {QStringLiteral("--devices"), QStringLiteral("--start")}) {
            const CliRun run = runProgram(scope.adbPath(), {verb}, extra);
            CHECK_RUN(run, 1);
            QVERIFY2(
                run.err.startsWith(QStringLiteral("Error: adb devices failed (exit status 1).\n")),
                qPrintable(run.story()));
            QVERIFY2(run.err.contains(adbSays), qPrintable(run.story()));
            QVERIFY2(run.err.endsWith(Setup.arg(scope.adbPath(), server)), qPrintable(run.story()));
            QVERIFY2(!run.err.contains(NoDevice) && !run.out.contains(NoDevice),
                     qPrintable(run.story()));
        }
        QVERIFY(!scope.serverAnswers());
    }

    // Not adb at all, or a broken one: what it said, and which one it was.
    void anAdbThatExitsThree() {
        const QTemporaryDir directory;
        ostrel::test::StandInAdb adb(directory.filePath(QStringLiteral("adb-bin")));
        adb.setStandardError("libadb.so: cannot open shared object file\n");
        adb.setExitCode(3);
        const AdbServerScope scope;
        const CliRun run = runProgram(adb.path(), {QStringLiteral("--devices")}, {});
        CHECK_RUN(run, 1);
        QCOMPARE(run.out, QString());
        QCOMPARE(run.err, QStringLiteral("Error: adb devices failed (exit status 3).\n"
                                         "libadb.so: cannot open shared object file\n") +
                              Setup.arg(adb.path(), QStringLiteral("it tried: 127.0.0.1:%1 "
                                                                   "(ANDROID_ADB_SERVER_PORT=%1)")
                                                        .arg(scope.serverPort())));
    }

    void theWindowSaysAdbsWords_data() { addEnvironmentCauses(); }
    void theWindowSaysAdbsWords() {
        QFETCH(QByteArray, variable);
        QFETCH(QByteArray, value);
        QFETCH(QString, adbSays);
        QFETCH(QString, server);
        ProgramSession session;
        const VariableScope cause(variable, value);
        session.clickStart();
        const QString console = session.console();
        QVERIFY2(console.contains(QStringLiteral("Error: adb devices failed (exit status 1).\n")),
                 qPrintable(session.story()));
        QVERIFY2(console.contains(adbSays), qPrintable(session.story()));
        QVERIFY2(console.contains(Setup.arg(session.scope().adbPath(), server)),
                 qPrintable(session.story()));
        QVERIFY2(!console.contains(NoDevice), qPrintable(session.story()));
    }

    // Through the real runner: a serial adb would get cut at its NUL, or
    // could not be given at all, is refused in one line, and the stand-in
    // adb is asked for nothing after the listing.
    void aSerialAdbCannotTakeGetsNoCommand_data() {
        QTest::addColumn<QByteArray>("serial");
        QTest::addColumn<QString>("said");
        QTest::newRow("NUL") << QByteArray("AB\0CD", 5)
                             << "Error: adb cannot name a device whose serial holds a NUL "
                                "character.\n";
        QTest::newRow("a mebibyte")
            << QByteArray(1 << 20, 'A')
            << "Error: adb cannot name a device whose serial is 1048576 bytes long: an argument "
               "to adb may hold at most 65536.\n";
    }
    void aSerialAdbCannotTakeGetsNoCommand() {
        QFETCH(QByteArray, serial);
        QFETCH(QString, said);
        const QTemporaryDir directory;
        ostrel::test::StandInAdb adb(directory.filePath(QStringLiteral("adb-bin")));
        adb.setStandardOutput("List of devices attached\n" + serial + "\tdevice\n\n");
        const AdbServerScope scope;
        const CliRun run = runProgram(adb.path(), {QStringLiteral("--start")}, {});
        CHECK_RUN(run, 1);
        QCOMPARE(run.err, said);
        QCOMPARE(adb.invocations(), QList<QStringList>{QStringList{QStringLiteral("devices")}});
    }
};

QTEST_MAIN(E2eAdbFailuresTest)
#include "test_e2e_adb_failures.moc"
