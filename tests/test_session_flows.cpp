// SPDX-License-Identifier: GPL-3.0-or-later
// One flow at a time: what a session answers when a flow is asked for while
// another still waits for adb.
#include "core/view/ViewerLauncher.h"
#include "support/PhoneCommands.h"
#include "support/ScriptedViewers.h"
#include "support/SessionFixture.h"
#include "support/TestPorts.h"

#include <QTest>

#include <optional>

using namespace ostrel;
using namespace ostrel::test;
using namespace ostrel::test::phone;

namespace {

// The answer of a flow that ended at once, in words; "still running" when it
// had to be cancelled to end.
template <typename T> std::optional<T> answerAtOnce(SessionFixture& f, QCoro::Task<T>&& task) {
    const bool atOnce = task.isReady();
    if (!atOnce)
        f.session.cancel();
    T answer = QCoro::waitFor(std::move(task));
    if (!atOnce)
        return std::nullopt;
    return answer;
}

QString said(const std::optional<bool>& answer) {
    return !answer ? QStringLiteral("still running") : *answer ? "true" : "false";
}

QString said(const std::optional<std::optional<LocalPair>>& answer) {
    return !answer ? QStringLiteral("still running") : *answer ? "a pair" : "nothing";
}

QString said(const std::optional<Step<QList<ListedDevice>>>& answer) {
    return !answer            ? QStringLiteral("still running")
           : answer->goesOn() ? "a listing"
                              : "no listing";
}

QString askFlow(SessionFixture& f, ViewerLauncher& launcher, const QString& flow) {
    if (flow == "start")
        return said(answerAtOnce(f, f.session.startServer()));
    if (flow == "stop")
        return said(answerAtOnce(f, f.session.stopServer()));
    if (flow == "usb connect")
        return said(answerAtOnce(f, f.session.usbConnect(portOf(5901))));
    if (flow == "usb disconnect")
        return said(answerAtOnce(f, f.session.usbDisconnect()));
    if (flow == "view")
        return said(answerAtOnce(f, f.session.view(portOf(5901), launcher, QString())));
    if (flow == "connect for view")
        return said(answerAtOnce(f, f.session.connectForView(portOf(5901))));
    if (flow == "list devices")
        return said(answerAtOnce(f, f.session.listDevices()));
    return QStringLiteral("no such flow");
}

} // namespace

class SessionFlowsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void aFlowAskedWhileAnotherRunsIsTurnedAway_data() {
        QTest::addColumn<QString>("flow");
        QTest::addColumn<QString>("answer");
        QTest::newRow("start") << "start"
                               << "false";
        QTest::newRow("stop") << "stop"
                              << "false";
        QTest::newRow("USB connect") << "usb connect"
                                     << "false";
        QTest::newRow("USB disconnect") << "usb disconnect"
                                        << "false";
        QTest::newRow("view") << "view"
                              << "false";
        QTest::newRow("connect for view") << "connect for view"
                                          << "nothing";
        QTest::newRow("list devices") << "list devices"
                                      << "no listing";
    }
    // Turned away at once with its own answer, having run and said nothing;
    // the first flow goes on as it was.
    void aFlowAskedWhileAnotherRunsIsTurnedAway() {
        QFETCH(QString, flow);
        QFETCH(QString, answer);
        SessionFixture f({{"package", FirstPackage}});
        f.phone.hangOn(devices());
        QCoro::Task<void> first = f.session.toggleServer();
        QTRY_COMPARE(f.phone.waiting(), 1);
        const QString console = f.seen.console;
        ScriptedViewers viewers;
        viewers.onPath = {QStringLiteral("vncviewer")};
        ViewerLauncher launcher(viewers);

        QCOMPARE(askFlow(f, launcher, flow), answer);
        QCOMPARE(f.phone.invocations(), QList<QStringList>{devices()});
        QCOMPARE(f.phone.waiting(), 1);
        QCOMPARE(f.seen.console, console);
        QCOMPARE(f.seen.busyChanges, QList<bool>{true});
        QVERIFY(viewers.calls.isEmpty());

        f.session.cancel();
        QCoro::waitFor(std::move(first));
    }
};

QTEST_GUILESS_MAIN(SessionFlowsTest)
#include "test_session_flows.moc"
