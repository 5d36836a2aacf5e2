// SPDX-License-Identifier: GPL-3.0-or-later
// `--watch` run as the built program, with a stand-in adb that cannot start
// a server and no server at the address: how often adb runs, and what is said.
#include "support/StandInAdb.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString Program = QStringLiteral(OSTREL_DRAVIK_EXECUTABLE);

// A port nothing listens on.
quint16 closedPort() {
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
}

} // namespace

class E2eWatchTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // At start-up the watch tries for five seconds: adb runs at most once
    // each two seconds, and the end is one line on standard error and exit
    // status 1.
    void aServerThatCannotStartIsTriedOncePerInterval() {
        const QTemporaryDir directory;
        ostrel::test::StandInAdb adb(directory.filePath(QStringLiteral("adb-bin")));
        adb.setExitCode(1);
        adb.setStandardError("* cannot start server here\n");
        const quint16 port = closedPort();
        QVERIFY(port != 0);

        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY",
                                 "ADB_SERVER_SOCKET", "ANDROID_ADB_SERVER_ADDRESS"})
            environment.remove(QString::fromLatin1(name));
        environment.insert(QStringLiteral("ANDROID_ADB_SERVER_PORT"), QString::number(port));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                           directory.filePath(QStringLiteral("config")));
        process.setProcessEnvironment(environment);
        process.setStandardInputFile(QProcess::nullDevice());
        QElapsedTimer clock;
        clock.start();
        process.start(Program, {QStringLiteral("--adb"), adb.path(), QStringLiteral("--watch")});
        QVERIFY(process.waitForFinished(20000));
        const qint64 ran = clock.elapsed();
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        const QString err = QString::fromUtf8(process.readAllStandardError());
        const QString story = QStringLiteral("%1 adb runs in %2 ms, exit %3\n--- stderr\n%4")
                                  .arg(adb.invocations().size())
                                  .arg(ran)
                                  .arg(process.exitCode())
                                  .arg(err);

        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 1);
        QCOMPARE(out, QString());
        QVERIFY2(adb.invocations().size() >= 1 && adb.invocations().size() <= 4, qPrintable(story));
        for (const QStringList& arguments : adb.invocations())
            QCOMPARE(arguments, QStringList{QStringLiteral("start-server")});
        const QString address = QStringLiteral("127.0.0.1:%1").arg(port);
        QCOMPARE(err, QStringLiteral("Error: no adb server could be reached at %1: Connection "
                                     "refused; adb start-server failed: * cannot start server "
                                     "here.\n")
                          .arg(address));
    }
};

QTEST_GUILESS_MAIN(E2eWatchTest)
#include "test_e2e_watch.moc"
