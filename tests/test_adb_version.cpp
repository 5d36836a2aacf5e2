// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/process/AdbVersion.h"

#include <QTest>

using namespace ostrel;

class AdbVersionTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void namesTheAdbInEffect_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("found");
        QTest::addColumn<QString>("text");
        QTest::newRow("chosen") << "/opt/a/adb"
                                << ""
                                << "adb in effect: /opt/a/adb (your choice)";
        QTest::newRow("chosen wins over found") << "/opt/a/adb"
                                                << "/usr/bin/adb"
                                                << "adb in effect: /opt/a/adb (your choice)";
        QTest::newRow("found") << ""
                               << "/usr/bin/adb"
                               << "adb in effect: /usr/bin/adb (found on this computer)";
        // A file's name may hold anything; a tooltip shows no control of it.
        QTest::newRow("controls in the chosen path")
            << "/opt/\u001B[2Ja\u202Edb"
            << ""
            << "adb in effect: /opt/\u241B[2Ja<U+202E>db (your choice)";
        QTest::newRow("controls in the found path")
            << ""
            << "/opt/b\u0007/adb"
            << "adb in effect: /opt/b\u2407/adb (found on this computer)";
        QTest::newRow("none") << ""
                              << ""
                              << "No adb was found: choose one with the adb button.";
    }

    void namesTheAdbInEffect() {
        QFETCH(QString, chosen);
        QFETCH(QString, found);
        QFETCH(QString, text);
        QCOMPARE(adbInEffectText(chosen, found), text);
    }

    // adb's output is not trusted: one short line of printable text, or why not.
    void readsTheFirstLineOfAdbVersion_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<bool>("known");
        QTest::addColumn<QString>("text");
        const int finished = int(AdbRun::Status::Finished);
        QTest::newRow("usual") << finished << 0
                               << QByteArray("Android Debug Bridge version 1.0.41\nVersion 34\n")
                               << true << "Android Debug Bridge version 1.0.41";
        QTest::newRow("crlf and controls")
            << finished << 0 << QByteArray("adb \x1b[31mred\x07 1.0\r\nnext") << true
            << "adb [31mred 1.0";
        QTest::newRow("endless line")
            << finished << 0 << QByteArray(100000, 'v') << true << QString(200, u'v');
        QTest::newRow("nothing printed")
            << finished << 0 << QByteArray("\n") << false << "adb version printed nothing";
        QTest::newRow("failed") << finished << 1 << QByteArray("Android Debug Bridge version 1\n")
                                << false << "adb version ended with exit code 1";
        QTest::newRow("timed out") << int(AdbRun::Status::TimedOut) << -1 << QByteArray() << false
                                   << "/opt/\u241B[2Jadb took too long";
    }

    void readsTheFirstLineOfAdbVersion() {
        QFETCH(int, status);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, output);
        QFETCH(bool, known);
        QFETCH(QString, text);
        AdbRun run;
        run.status = AdbRun::Status(status);
        run.exitCode = exitCode;
        run.standardOutput = output;
        run.errorText = QStringLiteral("/opt/\u001B[2Jadb took too long"); // names the path
        const AdbVersionAnswer answer = adbVersionAnswer(run);
        QCOMPARE(answer.known, known);
        QCOMPARE(answer.text, text);
    }
};

QTEST_APPLESS_MAIN(AdbVersionTest)
#include "test_adb_version.moc"
