#include "support/ControllerFixture.h"
#include "support/TinyHttpServer.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

using namespace ostrel;
using namespace ostrel::test;
using namespace std::chrono_literals;

namespace {

const QString NewVersion = QStringLiteral("A new version of Ostrel Dravik is available.");
const QString DownloadHint = QStringLiteral("You can download this version using the link:");
const QString UpToDate = QStringLiteral("You already have the latest version.");
const QString Failed = QStringLiteral("Failed to check updates.");
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

// Spins the event loop until `done` holds or five seconds have passed.
void spinUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 5000)
        QTest::qWait(10);
}

} // namespace

class UpdateCheckTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { QCoreApplication::setApplicationVersion(QStringLiteral("1.0")); }

    void menuReportsEachOutcome_data();
    void menuReportsEachOutcome();
    void checkShowsAClickableLinkAndReturnsZero();
    void menuWaitsWithoutTakingInput_data();
    void menuWaitsWithoutTakingInput();
    void startUpCheckDoesNotHoldTheWindow();
    void startUpCheckStaysSilentUnlessNewer_data();
    void startUpCheckStaysSilentUnlessNewer();
    void startUpDialogWaitsForARunningAction();
    void replyAfterTheControllerIsGoneIsIgnored();
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

    QCOMPARE(server.requestLines, QList<QByteArray>{"GET /zelq/mac/queryupdate.php HTTP/1.1"});
    QCOMPARE(f.desktop.alerts.size(), 1);
    const FakeDesktop::ShownAlert& alert = f.desktop.alerts.constFirst();
    QCOMPARE(alert.messageText, message);
    QCOMPARE(alert.informativeText, message == NewVersion ? DownloadHint : QString());
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

    QCOMPARE(f.controller->checkForUpdate(), 0);

    QCOMPARE(f.desktop.alerts.size(), 1);
    QCOMPARE(linkSize, QSize(300, 48));
    QCOMPARE(f.desktop.openedUrls, QList<QUrl>{QUrl("http://a.example/d")});
}

void UpdateCheckTest::menuWaitsWithoutTakingInput_data() {
    QTest::addColumn<bool>("listening");
    QTest::newRow("server never answers") << true;
    QTest::newRow("nothing listens") << false;
}

void UpdateCheckTest::menuWaitsWithoutTakingInput() {
    QFETCH(bool, listening);
    TinyHttpServer server;
    server.respondWith({200, Newer, 0ms, false});
    Waits waits = fastWaits();
    waits.updateTimeout = 400ms;
    ControllerFixture f(waits, listening ? server.siteUrl() : closedSite(), false);
    bool actionRunning = false;
    bool adbButtonEnabled = true;
    // Tied to the window, so it cannot fire into a later test once this one
    // has returned before it.
    QTimer::singleShot(20ms, f.window.get(), [&] {
        actionRunning = f.controller->actionRunning();
        adbButtonEnabled = f.window->ui.adbButton->isEnabled();
    });
    QElapsedTimer clock;
    clock.start();

    f.window->ui.actionCheckForUpdate->trigger();

    QVERIFY2(clock.elapsed() < 3000, "the shortened time-out was not kept");
    if (listening) {
        QVERIFY(clock.elapsed() >= 350);
        QVERIFY(actionRunning);
        QVERIFY(!adbButtonEnabled);
    }
    QCOMPARE(f.desktop.alerts.size(), 1);
    QCOMPARE(f.desktop.alerts.constFirst().messageText, Failed);
    QVERIFY(f.window->ui.adbButton->isEnabled());
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
    server.respondWith({200, Newer, 200ms});      // the start-up check
    server.respondWith({200, QByteArray("1.1")}); // the menu check: a failure
    ControllerFixture f(fastWaits(), server.siteUrl(), true);
    QTRY_COMPARE_WITH_TIMEOUT(server.requestLines.size(), 1, 5000);
    qsizetype alertsWhileActionRan = -1;
    f.desktop.answerAlert = [&](const Alert& alert) {
        if (alert.messageText == Failed) {
            // Hold the menu action open until the start-up reply has been handled.
            spinUntil([&] { return server.answered == 2; });
            QTest::qWait(300);
            alertsWhileActionRan = f.desktop.alerts.size();
        }
        return 1;
    };

    f.window->ui.actionCheckForUpdate->trigger();

    QCOMPARE(alertsWhileActionRan, qsizetype(1));
    QCOMPARE(f.desktop.alerts.size(), 2);
    QCOMPARE(f.desktop.alerts[1].messageText, NewVersion);
}

void UpdateCheckTest::replyAfterTheControllerIsGoneIsIgnored() {
    TinyHttpServer server;
    server.respondWith({200, Newer, 200ms});
    auto f = std::make_unique<ControllerFixture>(fastWaits(), server.siteUrl(), true);
    QTRY_COMPARE_WITH_TIMEOUT(server.requestLines.size(), 1, 5000);

    f.reset();

    QTest::qWait(500); // past the server's delay: reaching the end without a crash is the test
}

QTEST_MAIN(UpdateCheckTest)
#include "test_update_check.moc"
