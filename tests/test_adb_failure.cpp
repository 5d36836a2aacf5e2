// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/device/AdbFailure.h"

#include <QProcessEnvironment>
#include <QTest>

using namespace ostrel;

namespace {

QProcessEnvironment environmentOf(const QStringList& assignments) {
    QProcessEnvironment environment;
    for (const QString& assignment : assignments)
        environment.insert(assignment.section(u'=', 0, 0), assignment.section(u'=', 1));
    return environment;
}

} // namespace

class AdbFailureTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void tellsAGoneDeviceFromAFailedCommand_data() {
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("standardError");
        QTest::addColumn<bool>("gone");
        QTest::newRow("shell, device not found")
            << 1 << QByteArray("error: device 'AB12' not found\n") << true;
        QTest::newRow("shell, no devices")
            << 1 << QByteArray("error: no devices/emulators found\n") << true;
        QTest::newRow("forward, device offline")
            << 1 << QByteArray("adb: error: device offline\n") << true;
        QTest::newRow("forward, more than one device")
            << 1 << QByteArray("adb: error: more than one device/emulator\n") << true;
        QTest::newRow("unauthorized, several lines")
            << 1
            << QByteArray("* daemon not running; starting now at tcp:5037\n"
                          "error: device unauthorized.\n"
                          "This adb server's $ADB_VENDOR_KEYS is not set\n")
            << true;
        QTest::newRow("forward refused is not gone")
            << 1 << QByteArray("adb: error: cannot bind listener: Address already in use\n")
            << false;
        QTest::newRow("missing file on the device")
            << 1
            << QByteArray("ls: /data/data/x/files/ostrelvncserver: No such file or directory\n")
            << false;
        QTest::newRow("success with chatter")
            << 0 << QByteArray("* daemon started successfully\nerror: nothing\n") << false;
    }

    void tellsAGoneDeviceFromAFailedCommand() {
        QFETCH(int, exitCode);
        QFETCH(QByteArray, standardError);
        QFETCH(bool, gone);
        AdbRun run;
        run.status = AdbRun::Status::Finished;
        run.exitCode = exitCode;
        run.standardError = standardError;
        QCOMPARE(deviceIsGone(run), gone);
    }

    void standardErrorBecomesConsoleLines() {
        AdbRun run;
        run.standardError = "adb: error: device offline\n\nsecond\r\n";
        QCOMPARE(standardErrorForConsole(run),
                 QStringLiteral("adb: error: device offline\r\n\r\nsecond\r\n"));
        run.standardError = " \n";
        QCOMPARE(standardErrorForConsole(run), QString());
    }

    // A listing adb could not make says what adb said, and then where to look:
    // the adb that ran and the server the environment sent it to, as adb read
    // it, or the environment's own words when they name no server.
    void namesTheSetupToCheck_data() {
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<QString>("server");
        QTest::newRow("nothing set") << QStringList{} << "it tried: 127.0.0.1:5037 (adb's default)";
        QTest::newRow("empty variables count as unset")
            << QStringList{"ADB_SERVER_SOCKET=", "ANDROID_ADB_SERVER_PORT="}
            << "it tried: 127.0.0.1:5037 (adb's default)";
        QTest::newRow("a port") << QStringList{"ANDROID_ADB_SERVER_PORT=5038"}
                                << "it tried: 127.0.0.1:5038 (ANDROID_ADB_SERVER_PORT=5038)";
        QTest::newRow("an address and a port")
            << QStringList{"ANDROID_ADB_SERVER_ADDRESS=::1", "ANDROID_ADB_SERVER_PORT=5038"}
            << "it tried: [::1]:5038 (ANDROID_ADB_SERVER_ADDRESS=::1, "
               "ANDROID_ADB_SERVER_PORT=5038)";
        QTest::newRow("the socket wins")
            << QStringList{"ADB_SERVER_SOCKET=tcp:127.0.0.1:1", "ANDROID_ADB_SERVER_PORT=5038"}
            << "it tried: 127.0.0.1:1 (ADB_SERVER_SOCKET=tcp:127.0.0.1:1)";
        QTest::newRow("a socket that is no address")
            << QStringList{"ADB_SERVER_SOCKET=garbage", "ANDROID_ADB_SERVER_PORT=5038"}
            << "the environment gives it: ADB_SERVER_SOCKET=garbage";
        QTest::newRow("a port out of range")
            << QStringList{"ANDROID_ADB_SERVER_PORT=70000"}
            << "the environment gives it: ANDROID_ADB_SERVER_PORT=70000";
        QTest::newRow("controls in the environment show as symbols")
            << QStringList{"ANDROID_ADB_SERVER_ADDRESS=a\u001B[2Jb\u202E",
                           "ANDROID_ADB_SERVER_PORT=x"}
            << "the environment gives it: ANDROID_ADB_SERVER_ADDRESS=a\u241B[2Jb<U+202E>, "
               "ANDROID_ADB_SERVER_PORT=x";
    }
    void namesTheSetupToCheck() {
        QFETCH(QStringList, environment);
        QFETCH(QString, server);
        QCOMPARE(adbSetupToCheck(QStringLiteral("/opt/sdk/adb\u0007"), environmentOf(environment)),
                 "Check the adb in effect (/opt/sdk/adb\u2407) and the server address " + server +
                     ".\r\n");
    }
};

QTEST_APPLESS_MAIN(AdbFailureTest)
#include "test_adb_failure.moc"
