// SPDX-License-Identifier: GPL-3.0-or-later
// Which arguments go to the command line, and what it reads from them.
#include "cli/Invocation.h"
#include "core/device/SerialArgument.h"
#include "core/text/VisibleText.h"

#include <QTest>

using namespace ostrel;
using namespace ostrel::cli;

Q_DECLARE_METATYPE(ostrel::cli::ParsedArguments::Outcome)

class CommandLineTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A verb, the help or the version is the command line's; Qt's own options
    // alone (one dash or two) are the window's; anything else is a mistake.
    void decidesWhoTakesTheArguments_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<ParsedArguments::Outcome>("outcome");
        QTest::addColumn<bool>("platformNamed");
        const auto window = ParsedArguments::Outcome::Window;
        const auto run = ParsedArguments::Outcome::Run;
        const auto usage = ParsedArguments::Outcome::Usage;
        QTest::newRow("nothing") << QStringList{} << window << false;
        QTest::newRow("-session") << QStringList{"-session", "x"} << window << false;
        QTest::newRow("--style") << QStringList{"--style", "fusion"} << window << false;
        QTest::newRow("-platform") << QStringList{"-platform", "offscreen"} << window << true;
        QTest::newRow("flags") << QStringList{"-reverse", "--nograb", "-testability"} << window
                               << false;
        QTest::newRow("= form") << QStringList{"-qmljsdebugger=port:1234"} << window << false;
        QTest::newRow("X11's own")
            << QStringList{"-display", ":1", "-geometry", "9x9"} << window << false;
        QTest::newRow("verb after Qt option")
            << QStringList{"-session", "x", "--stop"} << run << false;
        QTest::newRow("-h") << QStringList{"-h"} << ParsedArguments::Outcome::Help << false;
        QTest::newRow("--help") << QStringList{"--help"} << ParsedArguments::Outcome::Help << false;
        QTest::newRow("--version")
            << QStringList{"--version"} << ParsedArguments::Outcome::Version << false;
        QTest::newRow("--devices") << QStringList{"--devices"} << run << false;
        QTest::newRow("--forward N") << QStringList{"--forward", "5901"} << run << false;
        QTest::newRow("--forward=N") << QStringList{"--forward=5901"} << run << false;
        QTest::newRow("two verbs")
            << QStringList{"--forward", "5901", "--disconnect"} << usage << false;
        QTest::newRow("option alone") << QStringList{"--serial", "X"} << usage << false;
        QTest::newRow("unknown option") << QStringList{"--bogus"} << usage << false;
        QTest::newRow("-v") << QStringList{"-v"} << usage << false;
        QTest::newRow("prefix of a verb") << QStringList{"--startx"} << usage << false;
        QTest::newRow("a word") << QStringList{"now"} << usage << false;
        QTest::newRow("after --") << QStringList{"--", "--start"} << usage << false;
        QTest::newRow("Qt option without its value") << QStringList{"-style"} << usage << false;
        QTest::newRow("--connect") << QStringList{"--connect"} << run << false;
        QTest::newRow("--port without --connect")
            << QStringList{"--port", "5901"} << usage << false;
        QTest::newRow("--port with another verb")
            << QStringList{"--forward", "5901", "--port", "5902"} << usage << false;
        QTest::newRow("--connect with a bad port")
            << QStringList{"--connect", "--port", "59o1"} << usage << false;
        QTest::newRow("--connect and --disconnect")
            << QStringList{"--connect", "--disconnect"} << usage << false;
        QTest::newRow("--view") << QStringList{"--view"} << run << false;
        // The window program opens --view's window on the platform named.
        QTest::newRow("--view on a platform")
            << QStringList{"-platform", "offscreen", "--view"} << run << true;
        QTest::newRow("--view and --connect")
            << QStringList{"--view", "--connect"} << usage << false;
    }
    void decidesWhoTakesTheArguments() {
        QFETCH(QStringList, arguments);
        QFETCH(ParsedArguments::Outcome, outcome);
        QFETCH(bool, platformNamed);
        const ParsedArguments parsed =
            parseArguments(QStringList{QStringLiteral("ostrel-dravik")} + arguments);
        QCOMPARE(parsed.outcome, outcome);
        QCOMPARE(parsed.platformNamed, platformNamed);
        if (outcome == ParsedArguments::Outcome::Usage)
            QCOMPARE(parsed.text.count(QLatin1Char('\n')), 1);
    }

    // A refused value is repeated as visibleText shows it: a script's log or a
    // terminal gets no control from it, and the line stays one line.
    void refusedValuesShowTheirControlsAsSymbols_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("shown");
        QTest::newRow("--forward")
            << QStringList{"--forward", "59\u001B[2J01"} << "'59\u241B[2J01' is not a port";
        QTest::newRow("--port") << QStringList{"--connect", "--port", "\u202E1095"}
                                << "'<U+202E>1095' is not a port";
        QTest::newRow("a word") << QStringList{"--start", "no\u0007w"}
                                << "Unexpected argument 'no\u2407w'";
        QTest::newRow("an unknown option") << QStringList{"--bo\u009Bgus"} << "'bo<U+009B>gus'";
        QTest::newRow("a line feed") << QStringList{"--forward", "59\n01"} << "'59\u240A01'";
        QTest::newRow("a lone CR") << QStringList{"--forward", "59\r01"} << "'59\u240D01'";
    }
    void refusedValuesShowTheirControlsAsSymbols() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, shown);
        const ParsedArguments parsed =
            parseArguments(QStringList{QStringLiteral("ostrel-dravik")} + arguments);
        QCOMPARE(parsed.outcome, ParsedArguments::Outcome::Usage);
        QVERIFY2(parsed.text.contains(shown), qPrintable(parsed.text));
        QVERIFY2(!needsVisibleText(parsed.text), qPrintable(parsed.text));
        QCOMPARE(parsed.text.count(QLatin1Char('\n')), 1);
    }

    // adb would get the serial cut at its NUL, which may name another phone;
    // one too long for adb's argument list would not start adb at all.
    void aSerialAdbCannotTakeIsRefused_data() {
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QString>("why");
        QTest::newRow("NUL") << QStringLiteral("AB") + QChar(0) + QStringLiteral("CD")
                             << "adb cannot name a device whose serial holds a NUL character";
        QTest::newRow("too long") << QString(MaxSerialBytes + 1, u'A')
                                  << QStringLiteral("adb cannot name a device whose serial is %1 "
                                                    "bytes long")
                                         .arg(MaxSerialBytes + 1);
        QTest::newRow("too long in UTF-8")
            << QString(MaxSerialBytes / 2 + 1, u'\u00E9')
            << QStringLiteral("serial is %1 bytes long").arg(MaxSerialBytes + 2);
    }
    void aSerialAdbCannotTakeIsRefused() {
        QFETCH(QString, serial);
        QFETCH(QString, why);
        const ParsedArguments parsed =
            parseArguments({QStringLiteral("ostrel-dravik"), QStringLiteral("--start"),
                            QStringLiteral("--serial"), serial});
        QCOMPARE(parsed.outcome, ParsedArguments::Outcome::Usage);
        QVERIFY2(parsed.text.contains(why), qPrintable(parsed.text.left(300)));
        QCOMPARE(parsed.text.count(QLatin1Char('\n')), 1);
        QVERIFY(parsed.text.size() < 400);
        // The longest serial adb can take is still taken.
        const QString longest(MaxSerialBytes, u'A');
        QCOMPARE(parseArguments({QStringLiteral("ostrel-dravik"), QStringLiteral("--start"),
                                 QStringLiteral("--serial"), longest})
                     .invocation.serial,
                 longest);
    }

    void readsTheInvocation_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("verb");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QString>("adb");
        QTest::newRow("forward, options after")
            << QStringList{"--forward", "05901", "--serial", "A1", "--adb", "/opt/adb"} << "forward"
            << 5901 << "A1"
            << "/opt/adb";
        QTest::newRow("options first, = form")
            << QStringList{"--serial=B2", "--stop"} << "stop" << 0 << "B2" << QString();
        QTest::newRow("disconnect with serial and adb")
            << QStringList{"--disconnect", "--serial", "A1", "--adb", "/opt/adb"} << "disconnect"
            << 0 << "A1"
            << "/opt/adb";
        QTest::newRow("connect with its port")
            << QStringList{"--connect", "--port", "5902", "--serial", "A1"} << "connect" << 5902
            << "A1" << QString();
        QTest::newRow("connect, port not given")
            << QStringList{"--connect"} << "connect" << 0 << QString() << QString();
        QTest::newRow("view with its port")
            << QStringList{"--view", "--serial", "A1", "--port", "5903"} << "view" << 5903 << "A1"
            << QString();
        QTest::newRow("last serial wins")
            << QStringList{"--start", "--serial", "A", "--serial", "B"} << "start" << 0 << "B"
            << QString();
    }
    void readsTheInvocation() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, verb);
        QFETCH(int, port);
        QFETCH(QString, serial);
        QFETCH(QString, adb);
        const ParsedArguments parsed =
            parseArguments(QStringList{QStringLiteral("ostrel-dravik")} + arguments);
        QCOMPARE(parsed.outcome, ParsedArguments::Outcome::Run);
        QCOMPARE(parsed.invocation.verb, verb);
        QCOMPARE(parsed.invocation.port ? parsed.invocation.port->number() : 0, port);
        QCOMPARE(parsed.invocation.serial, serial);
        QCOMPARE(parsed.invocation.adbPath, adb);
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "test_command_line.moc"
