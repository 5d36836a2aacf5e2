// SPDX-License-Identifier: GPL-3.0-or-later
// View through the real adb: the phone's server started when needed, a local
// pair of each phone's own, the greeting read through it, and the first
// viewer on a search path of stand-in programs given its address.
#include "core/settings/ViewPlace.h"
#include "core/view/ProcessViewerTrials.h"
#include "e2e/LoopbackProbe.h"
#include "e2e/ProgramSession.h"
#include "e2e/ServerScenarioChecks.h"
#include "support/ConsoleTexts.h"

#include <QCoro/QCoroTask>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace ostrel;
using namespace ostrel::e2e;
using namespace ostrel::test::texts;

namespace {

// A phone whose server runs from the start, told apart by its desktop name.
PhoneScenario namedPhone(const QString& desktopName) {
    PhoneScenario scenario;
    scenario.alreadyRunning = true;
    scenario.desktopName = desktopName;
    return scenario;
}

// Stand-in programs in a folder of their own: each records its name and
// arguments in one log, a line a run, and ends well at once.
class StandIns {
public:
    explicit StandIns(const QStringList& names) {
        for (const QString& name : names) {
            QFile file(folder_.filePath(name));
            if (!file.open(QIODevice::WriteOnly))
                continue;
            file.write(QStringLiteral("#!/bin/sh\necho \"%1 $*\" >> '%2'\n")
                           .arg(name, folder_.filePath("log"))
                           .toUtf8());
            file.close();
            file.setPermissions(file.permissions() | QFile::ExeOwner);
        }
    }
    QStringList log() const {
        QFile file(folder_.filePath("log"));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }
    QString path() const { return folder_.path(); }

private:
    QTemporaryDir folder_;
};

// These scenarios are the outside viewers': the program's own window is not theirs.
void clickView(ProgramSession& session) {
    QVERIFY(session.program().settings.storeViewPlace(ostrel::ViewPlace::AnotherViewer).isEmpty());
    QTest::mouseClick(session.program().window->ui.viewButton, Qt::LeftButton);
    session.waitForTheFlow();
}

} // namespace

class E2eViewTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ProcessViewerTrials> trials;

    // The program's own viewer trials, on a search path of stand-ins alone.
    ViewerTrials* viewersIn(const StandIns& standIns) {
        trials = std::make_unique<ProcessViewerTrials>(QStringList{standIns.path()},
                                                       std::chrono::milliseconds(1000));
        return trials.get();
    }

private Q_SLOTS:
    void initTestCase() {
        ProgramSession session;
        const QString why = whyNotTheRealAdb(session);
        QVERIFY2(why.isEmpty(), qPrintable(why));
    }

    // Each scenario's adb server takes its forwards with it when it ends; a
    // port still taken after that was left by something else.
    void init() {
        for (quint16 port : {5901, 5801, 5902, 5802})
            QTRY_VERIFY2_WITH_TIMEOUT(!acceptsConnections(port, 500),
                                      qPrintable(QStringLiteral("127.0.0.1:%1 is taken").arg(port)),
                                      5000);
    }
    void cleanup() { trials.reset(); }

    // The server stopped, the phone never seen: the prompt comes prefilled,
    // the server is started, greets through the forward, and the first
    // viewer found gets the local port in its own syntax.
    void viewStartsTheServerAndOpensAViewer() {
        const StandIns standIns({"vncviewer", "xdg-open"});
        ProgramSession session(Waits{}, false, viewersIn(standIns));
        ATTACH_PHONE(phone, session, PhoneScenario{}, QStringLiteral("device"));

        clickView(session);

        QCOMPARE(session.program().desktop.alerts.size(), 1);
        QCOMPARE(session.program().desktop.alerts.first().accessoryText, QStringLiteral("5901"));
        QVERIFY2(session.console().contains(RunningRow), qPrintable(session.story()));
        QCOMPARE(standIns.log(), QStringList{"vncviewer localhost::5901"});
        QVERIFY2(session.console().endsWith("Opened with vncviewer: vnc://localhost:5901\n\n\n"),
                 qPrintable(session.story()));
        QCOMPARE(readFirstLine(5901), QByteArray("RFB 003.008\n"));
        QCOMPARE(session.statusText(), RunningStatus);
    }

    // No viewer at all: the server's web client, through the desktop's opener.
    void withoutAViewerTheBrowserGetsTheWebClient() {
        const StandIns standIns({"xdg-open"});
        ProgramSession session(Waits{}, false, viewersIn(standIns));
        ATTACH_PHONE(phone, session, namedPhone("kestrel"), QStringLiteral("device"));

        clickView(session);

        QCOMPARE(standIns.log(), QStringList{"xdg-open http://localhost:5801/"});
        QVERIFY2(
            session.console().endsWith("Opened with the web browser: http://localhost:5801/\n\n\n"),
            qPrintable(session.story()));
        QCOMPARE(httpStatusLine(5801), QByteArray("HTTP/1.1 200 OK"));
    }

    // Two phones on the same port, viewed one after the other: each gets a
    // pair of its own, and each pair greets with its own phone's desktop.
    void twoPhonesEachReachTheirOwnServer() {
        const StandIns standIns({"vncviewer"});
        ProgramSession session(Waits{}, true, viewersIn(standIns));
        ATTACH_PHONE(a, session, namedPhone("phone A"), QStringLiteral("device"));
        ATTACH_PHONE(b, session, namedPhone("phone B"), QStringLiteral("device"));

        session.choose(a->serial());
        clickView(session);
        session.choose(b->serial());
        clickView(session);

        QCOMPARE(standIns.log(),
                 (QStringList{"vncviewer localhost::5901", "vncviewer localhost::5902"}));
        QCOMPARE(rfbDesktopName(5901), QByteArray("phone A"));
        QCOMPARE(rfbDesktopName(5902), QByteArray("phone B"));
        QCOMPARE(httpStatusLine(5802), QByteArray("HTTP/1.1 200 OK"));
        QVERIFY2(session.console().contains(
                     "The phone's ports 5901 and 5801 are reached through localhost:5902 and "
                     "localhost:5802: the ports below lead elsewhere.\n"),
                 qPrintable(session.story()));
        // Phone B's ports are shown as B's, not A's.
        QTRY_COMPARE_WITH_TIMEOUT(session.program().window->ui.forwardsLabel->text(),
                                  QStringLiteral("Forwarded: localhost:5902 and localhost:5802"),
                                  5000);
        // Viewed again, phone A keeps its pair: nothing new is forwarded.
        session.choose(a->serial());
        clickView(session);
        QCOMPARE(standIns.log().last(), QStringLiteral("vncviewer localhost::5901"));
        QCOMPARE(rfbDesktopName(5901), QByteArray("phone A"));
    }

    // A server that never starts ends View with the start's own lines, and
    // no viewer is called.
    void serverThatNeverStartsOpensNothing() {
        const StandIns standIns({"vncviewer", "xdg-open"});
        ProgramSession session(Waits{}, false, viewersIn(standIns));
        PhoneScenario scenario;
        scenario.serverFailure = QStringLiteral("bind: address in use");
        ATTACH_PHONE(phone, session, scenario, QStringLiteral("device"));

        clickView(session);

        QVERIFY2(session.console().contains(DidNotStart), qPrintable(session.story()));
        QCOMPARE(standIns.log(), QStringList{});
        QVERIFY(!session.console().contains("Opened with"));
    }
};

QTEST_MAIN(E2eViewTest)
#include "test_e2e_view.moc"
