// Which arguments go to the command line, and what it reads from them.
#include "cli/CommandLine.h"
#include "cli/Invocation.h"

#include <QTest>

#include <vector>

using namespace ostrel::cli;

Q_DECLARE_METATYPE(ostrel::cli::Invocation::Verb)

class CommandLineTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Anything but a verb, Qt's own options included, belongs to the window.
    void wantsCommandLineOnlyForAVerb_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("wanted");
        QTest::newRow("nothing") << QStringList{} << false;
        QTest::newRow("-session") << QStringList{"-session", "x"} << false;
        QTest::newRow("-style") << QStringList{"-style", "fusion"} << false;
        QTest::newRow("option alone") << QStringList{"--serial", "X"} << false;
        QTest::newRow("-v") << QStringList{"-v"} << false;
        QTest::newRow("after --") << QStringList{"--", "--start"} << false;
        QTest::newRow("verb after Qt option") << QStringList{"-session", "x", "--stop"} << true;
        QTest::newRow("-h") << QStringList{"-h"} << true;
        QTest::newRow("--help") << QStringList{"--help"} << true;
        QTest::newRow("--version") << QStringList{"--version"} << true;
        QTest::newRow("--devices") << QStringList{"--devices"} << true;
        QTest::newRow("--start") << QStringList{"--start"} << true;
        QTest::newRow("--forward N") << QStringList{"--forward", "5901"} << true;
        QTest::newRow("--forward=N") << QStringList{"--forward=5901"} << true;
        QTest::newRow("prefix of a verb") << QStringList{"--startx"} << false;
    }
    void wantsCommandLineOnlyForAVerb() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, wanted);
        std::vector<QByteArray> storage{QByteArray("ostrel-dravik")};
        for (const QString& argument : arguments)
            storage.push_back(argument.toLocal8Bit());
        std::vector<char*> argv;
        for (QByteArray& argument : storage)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        QCOMPARE(wantsCommandLine(static_cast<int>(storage.size()), argv.data()), wanted);
    }

    void readsTheInvocation_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<Invocation::Verb>("verb");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QString>("adb");
        QTest::newRow("forward, options after")
            << QStringList{"--forward", "05901", "--serial", "A1", "--adb", "/opt/adb"}
            << Invocation::Verb::Forward << 5901 << "A1"
            << "/opt/adb";
        QTest::newRow("options first, = form") << QStringList{"--serial=B2", "--stop"}
                                               << Invocation::Verb::Stop << 0 << "B2" << QString();
        QTest::newRow("last serial wins")
            << QStringList{"--start", "--serial", "A", "--serial", "B"} << Invocation::Verb::Start
            << 0 << "B" << QString();
    }
    void readsTheInvocation() {
        QFETCH(QStringList, arguments);
        QFETCH(Invocation::Verb, verb);
        QFETCH(int, port);
        QFETCH(QString, serial);
        QFETCH(QString, adb);
        const ParsedArguments parsed =
            parseArguments(QStringList{QStringLiteral("ostrel-dravik")} + arguments);
        QCOMPARE(parsed.outcome, ParsedArguments::Outcome::Run);
        QCOMPARE(parsed.invocation.verb, verb);
        QCOMPARE(parsed.invocation.port, port);
        QCOMPARE(parsed.invocation.serial, serial);
        QCOMPARE(parsed.invocation.adbPath, adb);
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "test_command_line.moc"
