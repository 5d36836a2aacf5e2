#include "core/device/AdbFailure.h"

#include <QTest>

using namespace ostrel;

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
};

QTEST_APPLESS_MAIN(AdbFailureTest)
#include "test_adb_failure.moc"
