// The harness the end-to-end tests stand on: a simulated phone reached by the
// real adb through a private adb server.
#include "e2e/AdbServerScope.h"
#include "e2e/SimulatedPhone.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QtTest>

using ostrel::e2e::AdbServerScope;
using ostrel::e2e::PhoneScenario;
using ostrel::e2e::SimulatedPhone;

class TestE2eHarness : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void phoneAnswersThroughThePrivateServer();
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
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY2(!socket.waitForConnected(1000), "the private adb server outlived its scope");
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
