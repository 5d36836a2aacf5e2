// SPDX-License-Identifier: GPL-3.0-or-later
// The harness the end-to-end tests stand on: a simulated phone reached by the
// real adb through a private adb server.
#include "e2e/AdbServerScope.h"
#include "e2e/LoopbackProbe.h"
#include "e2e/SimulatedPhone.h"

#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

using ostrel::e2e::acceptsConnections;
using ostrel::e2e::AdbServerScope;
using ostrel::e2e::httpStatusLine;
using ostrel::e2e::PhoneScenario;
using ostrel::e2e::readFirstLine;
using ostrel::e2e::SimulatedPhone;

class TestE2eHarness : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void phoneAnswersThroughThePrivateServer();
    void forwardedPortsAnswerOnlyWhileTheServerRuns();
    void unauthorizedPhoneIsListedAsSuch();
    void scopeEndsItsServerAndRestoresTheEnvironment();
    void phoneThatCannotStartIsReported();
};

namespace {

// Fails the calling test (never skips) when the phone or adb cannot be had.
#define START_PHONE(phone, scenario)                                                               \
    do {                                                                                           \
        QString why;                                                                               \
        QVERIFY2((phone).start(scenario, &why), qPrintable(why));                                  \
    } while (false)

#define CONNECT_PHONE(scope, phone, state)                                                         \
    do {                                                                                           \
        QString why;                                                                               \
        QVERIFY2((scope).connect(phone, state, &why),                                              \
                 qPrintable(why + QStringLiteral("\n") + (scope).serverLog()));                    \
    } while (false)

// Distinct loopback ports that were free a moment ago.
std::pair<quint16, quint16> twoFreePorts() {
    QTcpServer first;
    QTcpServer second;
    first.listen(QHostAddress::LocalHost, 0);
    second.listen(QHostAddress::LocalHost, 0);
    return {first.serverPort(), second.serverPort()};
}

} // namespace

void TestE2eHarness::phoneAnswersThroughThePrivateServer() {
    AdbServerScope scope;
    QVERIFY2(scope.problem().isEmpty(), qPrintable(scope.problem()));
    QVERIFY(scope.serverPort() != 5037);
    QCOMPARE(qgetenv("ANDROID_ADB_SERVER_PORT"), QByteArray::number(scope.serverPort()));
    SimulatedPhone phone;
    START_PHONE(phone, PhoneScenario{});
    CONNECT_PHONE(scope, phone, QStringLiteral("device"));

    const auto listing = scope.run({"-s", phone.serial(), "shell", "ps"});
    QVERIFY(listing.finished);
    QCOMPARE(listing.exitCode, 0);
    QVERIFY(listing.standardOutput.startsWith("USER      PID   PPID"));
    const auto missing = scope.run(
        {"-s", phone.serial(), "shell", "ls", "-l", "/data/data/com.halvorn.pellit/files/x"});
    QCOMPARE(missing.exitCode, 1);
    QVERIFY(missing.standardOutput.isEmpty());
    QVERIFY(missing.standardError.contains("No such file or directory"));

    const QList<QStringList> expected{{"ps"},
                                      {"ls", "-l", "/data/data/com.halvorn.pellit/files/x"}};
    QCOMPARE(phone.commandLog(), expected);
}

void TestE2eHarness::forwardedPortsAnswerOnlyWhileTheServerRuns() {
    AdbServerScope scope;
    QVERIFY2(scope.problem().isEmpty(), qPrintable(scope.problem()));
    SimulatedPhone phone;
    PhoneScenario scenario;
    scenario.vncPort = 5905;
    START_PHONE(phone, scenario);
    CONNECT_PHONE(scope, phone, QStringLiteral("device"));
    const auto [vnc, web] = twoFreePorts();
    for (const auto& [local, remote] : {std::pair{vnc, 5905}, std::pair{web, 5805}}) {
        const auto forward =
            scope.run({"-s", phone.serial(), "forward", QStringLiteral("tcp:%1").arg(local),
                       QStringLiteral("tcp:%1").arg(remote)});
        QCOMPARE(forward.exitCode, 0);
        QCOMPARE(forward.standardOutput, QByteArray::number(local) + "\n");
    }
    QVERIFY(acceptsConnections(vnc));
    QCOMPARE(readFirstLine(vnc), QByteArray());

    QProcess server;
    server.start(scope.adbPath(), {"-s", phone.serial(), "shell",
                                   "/data/data/com.ostrel.vncserver/files/ostrelvncserver"});
    QVERIFY(server.waitForStarted());
    QTRY_VERIFY(scope.shell(phone, {"ps"}).standardOutput.contains("files/ostrelvncserver"));
    QCOMPARE(readFirstLine(vnc), QByteArray("RFB 003.008\n"));
    QCOMPARE(httpStatusLine(web), QByteArray("HTTP/1.1 200 OK"));

    QCOMPARE(scope.shell(phone, {"/data/data/com.ostrel.vncserver/files/ostrelvncserver", "--stop"})
                 .exitCode,
             0);
    QVERIFY(server.waitForFinished(10000));
    QCOMPARE(readFirstLine(vnc), QByteArray());
}

void TestE2eHarness::unauthorizedPhoneIsListedAsSuch() {
    AdbServerScope scope;
    QVERIFY2(scope.problem().isEmpty(), qPrintable(scope.problem()));
    SimulatedPhone phone;
    PhoneScenario scenario;
    scenario.unauthorized = true;
    START_PHONE(phone, scenario);
    CONNECT_PHONE(scope, phone, QStringLiteral("unauthorized"));
    QVERIFY(phone.commandLog().isEmpty());
}

void TestE2eHarness::scopeEndsItsServerAndRestoresTheEnvironment() {
    const QByteArray home = qgetenv("HOME");
    const bool portWasSet = qEnvironmentVariableIsSet("ANDROID_ADB_SERVER_PORT");
    quint16 port = 0;
    {
        AdbServerScope scope;
        QVERIFY2(scope.problem().isEmpty(), qPrintable(scope.problem()));
        port = scope.serverPort();
        QVERIFY(scope.run({"start-server"}).finished);
        QVERIFY(scope.serverAnswers());
        QVERIFY(qgetenv("HOME") != home);
    }
    QCOMPARE(qgetenv("HOME"), home);
    QCOMPARE(qEnvironmentVariableIsSet("ANDROID_ADB_SERVER_PORT"), portWasSet);
    QVERIFY2(!acceptsConnections(port, 1000), "the private adb server outlived its scope");
}

void TestE2eHarness::phoneThatCannotStartIsReported() {
    SimulatedPhone phone;
    PhoneScenario scenario;
    scenario.executableSize = -1;
    QString why;
    QVERIFY(!phone.start(scenario, &why));
    QVERIFY2(why.contains(QStringLiteral("printed no port")), qPrintable(why));
    QVERIFY2(why.contains(QStringLiteral("sensible numbers")), qPrintable(why));
}

QTEST_GUILESS_MAIN(TestE2eHarness)
#include "test_e2e_harness.moc"
