// SPDX-License-Identifier: GPL-3.0-or-later
// The program's own client of adb's server socket against the real adb
// server, with a simulated phone attached through `adb connect`.
#include "core/Waits.h"
#include "core/server/AdbServerAddress.h"
#include "core/server/DeviceWatch.h"
#include "core/server/ForwardList.h"
#include "core/server/HostServiceRequest.h"
#include "core/server/RfbGreetingWait.h"
#include "e2e/AdbServerScope.h"
#include "e2e/SimulatedPhone.h"
#include "support/TestPorts.h"

#include <QCoro/QCoroTask>
#include <QElapsedTimer>
#include <QProcessEnvironment>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

using namespace ostrel;
using namespace ostrel::e2e;
using namespace std::chrono_literals;

namespace {

TcpPort freeLoopbackPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return test::portOf(probe.serverPort());
}

bool lists(const DeviceWatch& watch, const QString& serial, const QString& state) {
    return watch.devices().contains(ListedDevice{serial, state});
}

} // namespace

class TestE2eAdbServer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void followsTheRealServerAndNeverStartsOne() {
        AdbServerScope scope;
        QVERIFY2(scope.problem().isEmpty(), qPrintable(scope.problem()));
        const AdbOutput version = scope.run({QStringLiteral("version")});
        QVERIFY2(version.standardOutput.startsWith("Android Debug Bridge version"),
                 qPrintable(scope.adbPath() + QStringLiteral(" is no real adb")));
        const std::optional<AdbServerAddress> address =
            AdbServerAddress::fromEnvironment(QProcessEnvironment::systemEnvironment());
        QVERIFY(address);
        QCOMPARE(address->port, scope.serverPort());

        // No server: the watch keeps trying and starts none.
        DeviceWatchTiming timing;
        timing.retry = 100ms;
        DeviceWatch watch(*address, timing);
        QSignalSpy failures(&watch, &DeviceWatch::attemptFailed);
        watch.start();
        watch.poke();
        QTRY_VERIFY_WITH_TIMEOUT(failures.size() >= 3, 5000);
        const HostServiceReply unanswered =
            QCoro::waitFor(requestHostService(*address, "host:list-forward", 2s));
        QCOMPARE(unanswered.outcome, HostServiceReply::Outcome::NoServer);
        QVERIFY(!scope.serverAnswers());
        QVERIFY(!watch.isConnected());

        QCOMPARE(scope.run({QStringLiteral("start-server")}).exitCode, 0);
        watch.poke();
        QTRY_VERIFY_WITH_TIMEOUT(watch.isConnected(), 5000);
        QCOMPARE(watch.devices(), QList<ListedDevice>());

        PhoneScenario scenario;
        scenario.alreadyRunning = true; // its VNC port greets
        SimulatedPhone phone;
        QString why;
        QVERIFY2(phone.start(scenario, &why), qPrintable(why));
        QVERIFY2(scope.connect(phone, QStringLiteral("device"), &why),
                 qPrintable(why + u'\n' + scope.serverLog()));
        QElapsedTimer sinceAttached;
        sinceAttached.start();
        QTRY_VERIFY_WITH_TIMEOUT(lists(watch, phone.serial(), QStringLiteral("device")), 5000);
        qInfo("attached phone listed %lld ms after adb listed it", sinceAttached.elapsed());
        QTRY_COMPARE_WITH_TIMEOUT(watch.model(phone.serial()), QStringLiteral("KS 200"), 5000);

        const TcpPort localPort = freeLoopbackPort();
        const AdbOutput forward = scope.run(
            {QStringLiteral("-s"), phone.serial(), QStringLiteral("forward"),
             QStringLiteral("tcp:%1").arg(localPort.number()), QStringLiteral("tcp:5901")});
        QVERIFY2(forward.exitCode == 0, forward.standardError.constData());
        const HostServiceReply forwards =
            QCoro::waitFor(requestHostService(*address, "host:list-forward", 2s));
        QCOMPARE(forwards.outcome, HostServiceReply::Outcome::Ok);
        QVERIFY2(
            parseForwardList(forwards.payload)
                .contains(ListedForward{phone.serial(), localPort, QStringLiteral("tcp:5901")}),
            forwards.payload.constData());
        RfbGreetingWait greeting;
        const RfbGreetingResult greeted =
            QCoro::waitFor(greeting.waitForGreeting(localPort, Waits{}.forwardGreeting));
        QCOMPARE(greeted.greeting, QByteArray("RFB 003.008\n"));

        QCOMPARE(scope.run({QStringLiteral("disconnect"), phone.serial()}).exitCode, 0);
        QElapsedTimer sinceDetached;
        sinceDetached.start();
        QTRY_VERIFY_WITH_TIMEOUT(watch.devices().isEmpty(), 5000);
        qInfo("detached phone dropped after %lld ms", sinceDetached.elapsed());

        // The server goes; the watch says so and, retrying, starts none.
        QCOMPARE(scope.run({QStringLiteral("kill-server")}).exitCode, 0);
        QTRY_VERIFY_WITH_TIMEOUT(!watch.isConnected(), 5000);
        const qsizetype failedBefore = failures.size();
        QTRY_VERIFY_WITH_TIMEOUT(failures.size() >= failedBefore + 3, 5000);
        QVERIFY(!scope.serverAnswers());
    }
};

QTEST_GUILESS_MAIN(TestE2eAdbServer)
#include "test_e2e_adb_server.moc"
