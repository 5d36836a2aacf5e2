// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/device/FileListing.h"
#include "core/device/ProcessListing.h"

#include <QTest>

using namespace ostrel;

namespace {

const QString ServerPath = QStringLiteral("/data/data/com.ostrel.vncserver/files/ostrelvncserver");

QByteArray joined(const QList<QByteArray>& lines) {
    QByteArray output;
    for (const QByteArray& line : lines)
        output += line + '\n';
    return output;
}

AdbRun listed(const QList<QByteArray>& lines) {
    AdbRun run;
    run.status = AdbRun::Status::Finished;
    run.exitCode = 0;
    run.standardOutput = joined(lines);
    return run;
}

} // namespace

// What `ps` and `ls -l` on the phone say of the server, each read by its own
// parser from the whole output.
class PhoneListingsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void processLines_data() {
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<bool>("running");
        QTest::addColumn<int>("pid");
        using L = QList<QByteArray>;
        const QByteArray server = ServerPath.toUtf8();
        QTest::newRow("server line with CR")
            << L{"u0_a123   321   1  12345 678 ffffffff 00000000 S " + server + "\r"} << true
            << 321;
        QTest::newRow("app process is not the server")
            << L{"u0_a123   300   1  12345 678 ffffffff 00000000 S com.ostrel.vncserver"} << false
            << 0;
        QTest::newRow("last matching line wins")
            << L{"root 321 1 x ./ostrelvncserver", "root 322 1 x ./ostrelvncserver"} << true << 322;
        QTest::newRow("no number keeps pid, still running")
            << L{"root abc 1 ostrelvncserver"} << true << 0;
        QTest::newRow("number too large is not taken")
            << L{"root 99999999999 1 ostrelvncserver"} << true << 0;
        QTest::newRow("overlong first word is not read")
            << L{QByteArray(5000, 'u') + " 77 ostrelvncserver"} << true << 0;
        QTest::newRow("a device line is no process") << L{"SER\tdevice", ""} << false << 0;
    }

    void processLines() {
        QFETCH(QList<QByteArray>, lines);
        QFETCH(bool, running);
        QFETCH(int, pid);
        const ServerProcess process = readServerProcess(joined(lines), ServerPath);
        QCOMPARE(process.running, running);
        QCOMPARE(process.pid, pid);
    }

    void fileLines_data() {
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<bool>("found");
        QTest::addColumn<int>("size");
        using L = QList<QByteArray>;
        QTest::newRow("long listing")
            << L{"-rwxr-xr-x u0_a123 u0_a123 512 2024-05-01 12:00 ostrelvncserver"} << true << 512;
        QTest::newRow("missing")
            << L{"-rwx u g 512 d t ostrelvncserver",
                 "ls: /data/data/com.ostrel.vncserver/files/ostrelvncserver: No such file or "
                 "directory"}
            << false << 0;
        QTest::newRow("empty line clears")
            << L{"-rwx u g 512 d t ostrelvncserver", ""} << false << 0;
        QTest::newRow("unrelated line clears") << L{"total 0"} << false << 0;
        QTest::newRow("last line decides")
            << L{"-rwx u g 420556 d t ostrelvncserver", ""} << false << 0;
        QTest::newRow("overlong owner word: size not read, still found")
            << L{"-rwx " + QByteArray(40, 'o') + " g 512 d t ostrelvncserver"} << true << 0;
        QTest::newRow("negative size is read") << L{"a b c -5 ostrelvncserver"} << true << -5;
        QTest::newRow("a process line names the server too")
            << L{"root 1 2 ostrelvncserver"} << true << 0;
    }

    void fileLines() {
        QFETCH(QList<QByteArray>, lines);
        QFETCH(bool, found);
        QFETCH(int, size);
        const ServerFileListing listing = readServerFileListing(listed(lines), ServerPath);
        QCOMPARE(listing.kind,
                 found ? ServerFileListing::Kind::Found : ServerFileListing::Kind::Missing);
        QCOMPARE(listing.size, size);
    }
};

QTEST_APPLESS_MAIN(PhoneListingsTest)
#include "test_phone_listings.moc"
