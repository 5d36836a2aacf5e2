// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/SiteAddresses.h"
#include "core/update/UpdateChecker.h"
#include "support/ControllerFixture.h"
#include "support/EndlessHttpServer.h"
#include "support/ScriptedPhone.h"
#include "support/TinyHttpServer.h"

#ifndef Q_MOC_RUN // moc cannot read the standard coroutine headers
#include <QCoro/QCoroTask>
#endif
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTest>
#include <QTextDocument>
#include <QWindow>

#include <thread>

using namespace ostrel;
using namespace ostrel::test;
using namespace std::chrono_literals;

namespace {

const QString NewVersion = QStringLiteral("A new version of Ostrel Dravik is available.");
const QString DownloadHint = QStringLiteral("You can download this version using the link:");
const QString UpToDate = QStringLiteral("You already have the latest version.");
const QString Failed = QStringLiteral("Failed to check updates.");
const QString NotUnderstood = QStringLiteral("The update site's reply was not understood.");
const QByteArray Newer = "1.1,http://a.example/d";

constexpr int NoAccessory = -1;

// A site address where nothing listens.
QUrl closedSite() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port));
}

QString hrefOf(const QString& labelHtml) {
    const QRegularExpression href(QStringLiteral("href=\"([^\"]*)\""));
    return href.match(labelHtml).captured(1);
}

} // namespace

class UpdateCheckTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { QCoreApplication::setApplicationVersion(QStringLiteral("1.0")); }

    void menuReportsEachOutcome_data();
    void menuReportsEachOutcome();
    void checkShowsAClickableLinkAndReturnsZero();
    void offeredAddressReadsAsItOpens_data();
    void offeredAddressReadsAsItOpens();
    void menuCheckLeavesTheWindowToTheUser_data();
    void menuCheckLeavesTheWindowToTheUser();
    void startUpCheckDoesNotHoldTheWindow();
    void startUpCheckWaitsForTheFirstFrame();
    void startUpCheckStaysSilentUnlessNewer_data();
    void startUpCheckStaysSilentUnlessNewer();
    void startUpDialogWaitsForARunningAction();
    void menuJoinsAPendingStartUpCheck_data();
    void menuJoinsAPendingStartUpCheck();
    void quitDropsAnOfferWaitingForAFlow_data();
    void quitDropsAnOfferWaitingForAFlow();
    void quitDuringACheckShowsNothing_data();
    void quitDuringACheckShowsNothing();
    void replyAfterTheControllerIsGoneIsIgnored();
    void endlessReplyIsClosedAtTheCap();
};

void UpdateCheckTest::menuReportsEachOutcome_data() {
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<qsizetype>("declaredLength"); // -1: the body's own
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("accessoryFormat");

    QTest::newRow("newer") << 200 << Newer << qsizetype(-1) << NewVersion << int(Qt::RichText);
    QTest::newRow("up to date") << 200 << QByteArray("1.0,http://a.example/d") << qsizetype(-1)
                                << UpToDate << NoAccessory;
    QTest::newRow("no comma") << 200 << QByteArray("1.1") << qsizetype(-1) << Failed << NoAccessory;
    QTest::newRow("error status with a reply")
        << 404 << Newer << qsizetype(-1) << NewVersion << int(Qt::RichText);
    QTest::newRow("error page") << 500 << QByteArray("<h1>Oops</h1>") << qsizetype(-1) << Failed
                                << NoAccessory;
    QTest::newRow("javascript link") << 200 << QByteArray("1.1,javascript:alert(1)")
                                     << qsizetype(-1) << NewVersion << int(Qt::PlainText);
    QTest::newRow("file link") << 200 << QByteArray("1.1,file:///etc/passwd") << qsizetype(-1)
                               << NewVersion << int(Qt::PlainText);
    QTest::newRow("oversized body") << 200 << Newer + "," + QByteArray(1024 * 1024, 'x')
                                    << qsizetype(-1) << Failed << NoAccessory;
    QTest::newRow("connection cut mid-body")
        << 200 << Newer << qsizetype(4096) << Failed << NoAccessory;
}

void UpdateCheckTest::menuReportsEachOutcome() {
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(qsizetype, declaredLength);
    QFETCH(QString, message);
    QFETCH(int, accessoryFormat);

    TinyHttpServer server;
    TinyHttpServer::Response response{status, body};
    if (declaredLength >= 0)
        response.declaredLength = declaredLength;
    server.respondWith(response);
    ControllerFixture f(fastWaits(), server.siteUrl(), false);

    f.window->ui.actionCheckForUpdate->trigger();

    QTRY_COMPARE_WITH_TIMEOUT(f.desktop.alerts.size(), 1, 5000);
    QCOMPARE(server.requestLines, QList<QByteArray>{"GET /zelq/mac/queryupdate.php HTTP/1.1"});
    const FakeDesktop::ShownAlert& alert = f.desktop.alerts.constFirst();
    QCOMPARE(alert.messageText, message);
    const QString informative = message == NewVersion ? DownloadHint
                                : message == Failed   ? NotUnderstood
                                                      : QString();
    QCOMPARE(alert.informativeText, informative);
    QCOMPARE(alert.buttons, QStringList{"OK"});
    QCOMPARE(alert.hadAccessory, accessoryFormat != NoAccessory);
    if (accessoryFormat == int(Qt::RichText))
        QCOMPARE(hrefOf(alert.accessoryText), QStringLiteral("http://a.example/d"));
    if (accessoryFormat == int(Qt::PlainText))
        QCOMPARE(alert.accessoryText, QString::fromUtf8(body.mid(4)));
    if (alert.hadAccessory)
        QCOMPARE(int(alert.accessoryFormat), accessoryFormat);
    QCOMPARE(f.consoleText(), QString()); // no outcome writes to the console
}

void UpdateCheckTest::checkShowsAClickableLinkAndReturnsZero() {
    TinyHttpServer server;
    server.respondWith({200, Newer});
    ControllerFixture f(fastWaits(), server.siteUrl(), false);
    QSize linkSize;
    f.desktop.answerAlert = [&](const Alert& alert) {
        auto* link = qobject_cast<QLabel*>(alert.accessory);
        if (!link)
            return 0;
        linkSize = link->minimumSize();
        Q_EMIT link->linkActivated(hrefOf(link->text()));
        return 1;
    };

    QCOMPARE(QCoro::waitFor(f.controller->updateOffer().checkForUpdate()).result, 0);

    QCOMPARE(f.desktop.alerts.size(), 1);
    QCOMPARE(linkSize, QSize(300, 48));
    QCOMPARE(f.desktop.openedUrls, QList<QUrl>{QUrl("http://a.example/d")});
}

void UpdateCheckTest::offeredAddressReadsAsItOpens_data() {
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("clickable");

    // Read with the override active, the name would end in "exe.png".
    QTest::newRow("right-to-left override")
        << QByteArray("https://a.example/dl/\u202Egnp.exe")
        << QStringLiteral("https://a.example/dl/%E2%80%AEgnp.exe") << true;
    QTest::newRow("isolate and mark")
        << QByteArray("http://a.example/\u2067x\u200Fy")
        << QStringLiteral("http://a.example/%E2%81%A7x%E2%80%8Fy") << true;
    QTest::newRow("override in a plain address")
        << QByteArray("ftp://a.example/\u202Egnp.exe")
        << QStringLiteral("ftp://a.example/<U+202E>gnp.exe") << false;
    QTest::newRow("escape in a plain address")
        << QByteArray("\x1b[2Jfile:///x") << QStringLiteral("\u241B[2Jfile:///x") << false;
}

// The address the site offers is read in the dialog as a click opens it: no
// character in it can hide or reorder the rest.
void UpdateCheckTest::offeredAddressReadsAsItOpens() {
    QFETCH(QByteArray, address);
    QFETCH(QString, shown);
    QFETCH(bool, clickable);
    TinyHttpServer server;
    server.respondWith({200, "1.1," + address});
    ControllerFixture f(fastWaits(), server.siteUrl(), false);
    QString read;
    QString href;
    f.desktop.answerAlert = [&](const Alert& alert) {
        auto* link = qobject_cast<QLabel*>(alert.accessory);
        if (!link)
            return 0;
        QTextDocument document;
        document.setHtml(link->text());
        read = link->textFormat() == Qt::RichText ? document.toPlainText() : link->text();
        href = hrefOf(link->text());
        if (!href.isEmpty())
            Q_EMIT link->linkActivated(href);
        return 1;
    };

    QCOMPARE(QCoro::waitFor(f.controller->updateOffer().checkForUpdate()).result, 0);

    QCOMPARE(read, shown);
    if (!clickable) {
        QCOMPARE(href, QString());
        QVERIFY(f.desktop.openedUrls.isEmpty());
        return;
    }
    QCOMPARE(href, shown);
    QCOMPARE(f.desktop.openedUrls.size(), 1);
    QCOMPARE(f.desktop.openedUrls.constFirst().toString(QUrl::FullyEncoded), shown);
}

void UpdateCheckTest::menuCheckLeavesTheWindowToTheUser_data() {
    QTest::addColumn<bool>("listening");
    QTest::addColumn<QString>("reason");
    QTest::newRow("server never answers")
        << true << QStringLiteral("The update site did not answer within 0.4 seconds.");
    QTest::newRow("nothing listens")
        << false << QStringLiteral("The update site could not be reached: Connection refused");
}

void UpdateCheckTest::menuCheckLeavesTheWindowToTheUser() {
    QFETCH(bool, listening);
    QFETCH(QString, reason);
    TinyHttpServer server;
    server.respondWith({200, Newer, 0ms, false});
    Waits waits = fastWaits();
    waits.updateTimeout = 400ms;
    const QUrl site = listening ? server.siteUrl() : closedSite();
    ControllerFixture f(waits, site, false);
    f.controller->appendStringToTextView(QStringLiteral("earlier output\r\n"));
    QElapsedTimer clock;
    clock.start();

    f.window->ui.actionCheckForUpdate->trigger();

    QVERIFY(f.desktop.alerts.isEmpty());
    QVERIFY(!f.window->ui.actionCheckForUpdate->isEnabled());
    if (listening)
        QTest::qWait(100); // well into the wait for an answer
    QTest::mouseClick(f.window->ui.helpButton, Qt::LeftButton);
    QTest::mouseClick(f.window->ui.clearButton, Qt::LeftButton);
    QCOMPARE(f.desktop.openedUrls, QList<QUrl>{helpPageUrl(site)});
    QCOMPARE(f.consoleText(), QString());
    QVERIFY(f.desktop.alerts.isEmpty());

    QTRY_COMPARE_WITH_TIMEOUT(f.desktop.alerts.size(), 1, 5000);
    QVERIFY2(clock.elapsed() < 3000, "the shortened time-out was not kept");
    if (listening)
        QVERIFY(clock.elapsed() >= 350);
    QCOMPARE(f.desktop.alerts.constFirst().messageText, Failed);
    QCOMPARE(f.desktop.alerts.constFirst().informativeText, reason);
    QVERIFY(f.window->ui.actionCheckForUpdate->isEnabled());
}

void UpdateCheckTest::startUpCheckDoesNotHoldTheWindow() {
    TinyHttpServer server;
    server.respondWith({200, Newer, 500ms});
    ControllerFixture f(fastWaits(), server.siteUrl(), false);

    f.controller->awakeFromNib();

    // A check that waited would have let the server answer and the dialog run.
    QCOMPARE(server.answered, 0);
    QVERIFY(f.desktop.alerts.isEmpty());
    QVERIFY(f.window->ui.adbButton->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(f.desktop.alerts.size(), 1, 5000);
    QCOMPARE(f.desktop.alerts.constFirst().messageText, NewVersion);
    QCOMPARE(int(f.desktop.alerts.constFirst().accessoryFormat), int(Qt::RichText));
}

void UpdateCheckTest::startUpCheckWaitsForTheFirstFrame() {
    TinyHttpServer server;
    server.respondWith({200, QByteArray("1.0,http://a.example/d")});
    ControllerFixture f(fastWaits(), server.siteUrl(), false);
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    f.window->hide(); // as a window not on screen yet
    QTRY_VERIFY(!f.window->windowHandle()->isExposed());

    f.controller->awakeFromNib();
    QTest::qWait(300);
    QVERIFY(server.requestLines.isEmpty());

    f.window->show();
    QTRY_COMPARE_WITH_TIMEOUT(server.requestLines.size(), 1, 5000);
    QVERIFY(f.window->windowHandle()->isExposed());
}

void UpdateCheckTest::startUpCheckStaysSilentUnlessNewer_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("up to date") << QByteArray("1.0,http://a.example/d");
    QTest::newRow("failure") << QByteArray("no comma here");
}

void UpdateCheckTest::startUpCheckStaysSilentUnlessNewer() {
    QFETCH(QByteArray, body);
    TinyHttpServer server;
    server.respondWith({200, body});
    ControllerFixture f(fastWaits(), server.siteUrl(), true);
    const QString console = f.consoleText();

    QTRY_COMPARE_WITH_TIMEOUT(server.answered, 1, 5000);
    QTest::qWait(300);

    QVERIFY(f.desktop.alerts.isEmpty());
    QCOMPARE(f.consoleText(), console);
}

void UpdateCheckTest::startUpDialogWaitsForARunningAction() {
    TinyHttpServer server;
    server.respondWith({200, Newer, 100ms});
    ScriptedPhone phone;
    phone.hangOn({QStringLiteral("devices")}); // the flow runs until the command times out
    Waits waits = fastWaits();
    waits.commandTimeout = 800ms;
    ControllerFixture f(waits, server.siteUrl(), true, &phone);
    f.chooseAdb(SessionFixture::AdbPath);
    bool flowRanAtTheDialog = true;
    f.desktop.answerAlert = [&](const Alert&) {
        flowRanAtTheDialog = f.flowRunning();
        return 1;
    };

    QTest::mouseClick(f.window->ui.startButton, Qt::LeftButton);

    QVERIFY(f.flowRunning());
    QVERIFY(!f.window->ui.actionCheckForUpdate->isEnabled());
    QVERIFY(f.window->ui.helpButton->isEnabled());
    QVERIFY(f.window->ui.actionAbout->isEnabled());
    QVERIFY(f.window->ui.actionQuit->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(server.answered, 1, 5000);
    QTest::qWait(100);
    QVERIFY(f.flowRunning());
    QVERIFY(f.desktop.alerts.isEmpty());

    QTRY_COMPARE_WITH_TIMEOUT(f.desktop.alerts.size(), 1, 5000);
    QCOMPARE(f.desktop.alerts.constFirst().messageText, NewVersion);
    QVERIFY(!flowRanAtTheDialog);
    QVERIFY(f.window->ui.actionCheckForUpdate->isEnabled());
    QCOMPARE(phone.invocations().count(QStringList{QStringLiteral("devices")}), 1);
}

void UpdateCheckTest::menuJoinsAPendingStartUpCheck_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("message");
    QTest::newRow("newer") << Newer << NewVersion;
    QTest::newRow("up to date") << QByteArray("1.0,http://a.example/d") << UpToDate;
    QTest::newRow("failure") << QByteArray("no comma here") << Failed;
}

// The menu owes the user its answer; the start-up check then says nothing.
void UpdateCheckTest::menuJoinsAPendingStartUpCheck() {
    QFETCH(QByteArray, body);
    QFETCH(QString, message);
    TinyHttpServer server;
    server.respondWith({200, body, 300ms});
    ControllerFixture f(fastWaits(), server.siteUrl(), true);
    QTRY_COMPARE_WITH_TIMEOUT(server.requestLines.size(), 1, 5000);

    f.window->ui.actionCheckForUpdate->trigger();

    QTRY_COMPARE_WITH_TIMEOUT(f.desktop.alerts.size(), 1, 5000);
    QTest::qWait(300);
    QCOMPARE(f.desktop.alerts.size(), 1);
    const FakeDesktop::ShownAlert& alert = f.desktop.alerts.constFirst();
    QCOMPARE(alert.messageText, message);
    // The joined check hands the menu the whole verdict, not what is left of it.
    if (message == NewVersion)
        QCOMPARE(hrefOf(alert.accessoryText), QStringLiteral("http://a.example/d"));
    if (message == Failed)
        QCOMPARE(alert.informativeText, NotUnderstood);
    QCOMPARE(server.requestLines.size(), 1);
    QVERIFY(f.window->ui.actionCheckForUpdate->isEnabled());
}

void UpdateCheckTest::quitDropsAnOfferWaitingForAFlow_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("Quit item") << QStringLiteral("menu");
    QTest::newRow("Quit shortcut") << QStringLiteral("shortcut");
    QTest::newRow("closing the window") << QStringLiteral("close");
}

// A newer version found while a flow runs waits for its end; quitting ends
// the flow, and the offer goes unshown instead of holding up the quit.
void UpdateCheckTest::quitDropsAnOfferWaitingForAFlow() {
    QFETCH(QString, how);
    TinyHttpServer server;
    server.respondWith({200, Newer, 100ms});
    ScriptedPhone phone;
    phone.hangOn({QStringLiteral("devices")});
    ControllerFixture f(fastWaits(), server.siteUrl(), true, &phone);
    f.chooseAdb(SessionFixture::AdbPath);
    QTest::mouseClick(f.window->ui.startButton, Qt::LeftButton);
    QVERIFY(f.flowRunning());
    QTRY_COMPARE_WITH_TIMEOUT(server.answered, 1, 5000);
    QTest::qWait(100); // the reply is read and the offer waits for the flow

    if (how == QLatin1String("menu")) {
        f.window->ui.actionQuit->trigger();
    } else if (how == QLatin1String("shortcut")) {
        f.window->activateWindow();
        QApplication::setActiveWindow(f.window.get());
        QTest::keySequence(f.window.get(), f.window->ui.actionQuit->shortcut());
    } else {
        f.window->close();
    }

    QTRY_COMPARE(f.desktop.quitCount, 1);
    QTest::qWait(200);
    QVERIFY(f.desktop.alerts.isEmpty());
    QVERIFY(f.noFlowAfterQuit());
}

void UpdateCheckTest::quitDuringACheckShowsNothing_data() {
    QTest::addColumn<bool>("startUpCheck");
    QTest::newRow("menu check alone") << false;
    QTest::newRow("menu joined the start-up check") << true;
}

void UpdateCheckTest::quitDuringACheckShowsNothing() {
    QFETCH(bool, startUpCheck);
    TinyHttpServer server;
    server.respondWith({200, Newer, 200ms});
    ScriptedPhone phone; // takes the adb server's stop on the way out
    ControllerFixture f(fastWaits(), server.siteUrl(), startUpCheck, &phone);
    f.chooseAdb(SessionFixture::AdbPath);
    f.window->ui.actionCheckForUpdate->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(server.requestLines.size(), 1, 5000);

    f.window->ui.actionQuit->trigger();

    QTRY_COMPARE(f.desktop.quitCount, 1);
    QTest::qWait(400); // past the server's delay
    QVERIFY(f.desktop.alerts.isEmpty());
    QCOMPARE(server.requestLines.size(), 1);
}

void UpdateCheckTest::replyAfterTheControllerIsGoneIsIgnored() {
    TinyHttpServer server;
    server.respondWith({200, Newer, 200ms});
    auto f = std::make_unique<ControllerFixture>(fastWaits(), server.siteUrl(), true);
    QTRY_COMPARE_WITH_TIMEOUT(server.requestLines.size(), 1, 5000);

    f.reset();

    QTest::qWait(500); // past the server's delay: reaching the end without a crash is the test
}

// A site that never ends its reply is cut off once the cap is passed, even
// when the reply pours in while the window is busy: the system's buffers are
// the only slack, nothing is kept for later, and the check ends as a reply
// that was not understood.
void UpdateCheckTest::endlessReplyIsClosedAtTheCap() {
    EndlessHttpServer server;
    UpdateChecker checker(updateEndpointUrl(server.siteUrl()), QStringLiteral("1.0"), 20s);

    QCoro::Task<UpdateVerdict> check = checker.check();
    std::this_thread::sleep_for(300ms); // as a window drawing its first frame
    const UpdateVerdict verdict = QCoro::waitFor(check);

    QCOMPARE(verdict.result, UpdateResult::Failed);
    QCOMPARE(verdict.failure, UpdateFailure::NotUnderstood);
    QTRY_VERIFY_WITH_TIMEOUT(server.closedByReader(), 5000);
    constexpr qint64 Slack = 512 * 1024;
    QVERIFY2(server.bytesSent() < MaxUpdateReplyBytes + Slack,
             qPrintable(QString::number(server.bytesSent())));
}

QTEST_MAIN(UpdateCheckTest)
#include "test_update_check.moc"
