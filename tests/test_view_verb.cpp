// SPDX-License-Identifier: GPL-3.0-or-later
// `--view` in this process, as the window program runs it: on a scripted
// phone, with the program's own viewer windows, whose end decides the exit
// status.
#include "cli/CommandLineOutput.h"
#include "cli/Invocation.h"
#include "cli/VerbContext.h"
#include "cli/verbs/View.h"
#include "core/process/InterruptWatcher.h"
#include "gui/viewer/ViewerWindow.h"
#include "gui/viewer/ViewerWindows.h"
#include "support/LocalGreeter.h"
#include "support/PhoneCommands.h"
#include "support/SessionFixture.h"

#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <memory>

using namespace ostrel;
using namespace ostrel::test;
using namespace ostrel::test::phone;

namespace {

const QString Phone = QStringLiteral("emulator-5554");

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

QString contentOf(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    QByteArray bytes;
    char chunk[512];
    for (std::size_t read; (read = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
        bytes.append(chunk, static_cast<qsizetype>(read));
    return QString::fromUtf8(bytes);
}

// No test here waits for a greeting that is not coming any longer than this.
Waits shortWaits() {
    Waits waits = fastWaits();
    waits.viewGreeting = std::chrono::milliseconds(300);
    return waits;
}

// What the user, or the connection, does to the window once it shows.
using WindowAct = std::function<void(ViewerWindow&)>;

// The verb's run to its end, `act` done to the phone's window once it is
// open. The window program's viewer windows unless `withWindows` is false,
// as in the command line program.
struct ViewRun {
    explicit ViewRun(bool withWindows = true)
        : fixture(QJsonObject{{"package", FirstPackage}, {"running", true}}, shortWaits()),
          out(std::tmpfile()), err(std::tmpfile()), output(out.get(), err.get()),
          withWindows_(withWindows) {
        output.follow(fixture.session);
        invocation.verb = QStringLiteral("view");
    }

    int run(const WindowAct& act) {
        QTimer watch;
        watch.setTimerType(Qt::PreciseTimer);
        QObject::connect(&watch, &QTimer::timeout, &watch, [this, &watch, act] {
            if (ViewerWindow* window = windows.windowOf(Phone)) {
                watch.stop();
                shown = window->isVisible();
                title = window->windowTitle();
                act(*window);
            }
        });
        watch.start(10);
        const cli::VerbContext context{fixture.session, output, interrupts, invocation,
                                       withWindows_ ? &windows : nullptr};
        return cli::verbs::View::run(context);
    }

    QString standardError() const { return contentOf(err.get()); }
    QString standardOutput() const { return contentOf(out.get()); }

    SessionFixture fixture;
    File out;
    File err;
    cli::CommandLineOutput output;
    InterruptWatcher interrupts;
    ViewerWindows windows;
    cli::Invocation invocation;
    bool shown = false;
    QString title;

private:
    bool withWindows_;
};

QList<ViewerWindow*> viewerWindows() {
    QList<ViewerWindow*> found;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<ViewerWindow*>(widget))
            found.append(window);
    }
    return found;
}

} // namespace

class ViewVerbTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // As the window program runs the verb: the verb ends it, not a window.
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    // The window shows alone, named for the phone; closed by the user it is
    // 0, unable to connect it is 1 with the window's line on standard error,
    // and the window goes with it.
    void theWindowsEndIsTheExitStatus_data() {
        QTest::addColumn<bool>("fails");
        QTest::addColumn<int>("status");
        QTest::newRow("closed by the user") << false << 0;
        QTest::newRow("could not connect") << true << 1;
    }
    void theWindowsEndIsTheExitStatus() {
        QFETCH(bool, fails);
        QFETCH(int, status);
        LocalGreeter greeter;
        QVERIFY(greeter.listen(QHostAddress::LocalHost));
        ViewRun view;
        view.invocation.port = portOf(greeter.serverPort());
        const int exitStatus = view.run([fails](ViewerWindow& window) {
            if (fails)
                Q_EMIT window.connectionFailed(QStringLiteral("The connection was refused."));
            else
                window.close();
        });
        QCOMPARE(exitStatus, status);
        QVERIFY(view.shown);
        QCOMPARE(view.title, Phone);
        QVERIFY(QApplication::topLevelWidgets().size() == viewerWindows().size());
        QVERIFY2(view.standardOutput().contains(
                     QStringLiteral("Opened with the built-in viewer: localhost:%1\n")
                         .arg(greeter.serverPort())),
                 qPrintable(view.standardOutput()));
        QCOMPARE(view.standardError(),
                 fails ? QStringLiteral("Error: The connection was refused.\n") : QString());
        QTRY_VERIFY(viewerWindows().isEmpty());
    }

    // View's own failure opens no window: 1, the reason on standard error.
    void nothingGreetingOpensNoWindow() {
        QTcpServer silent; // listens, never greets
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        ViewRun view;
        view.invocation.port = portOf(silent.serverPort());
        QCOMPARE(view.run([](ViewerWindow&) {}), 1);
        QVERIFY(!view.shown);
        QVERIFY(viewerWindows().isEmpty());
        QVERIFY2(view.standardError().startsWith(QStringLiteral("Error: nothing answered")),
                 qPrintable(view.standardError()));
    }

    // The command line program has no windows to open: it never runs the
    // verb itself, and says so should it be asked to.
    void withoutViewerWindowsNothingRuns() {
        ViewRun view(false);
        QCOMPARE(view.run([](ViewerWindow&) {}), 1);
        QVERIFY(view.fixture.phone.invocations().isEmpty());
        QVERIFY(!view.standardError().isEmpty());
    }
};

QTEST_MAIN(ViewVerbTest)
#include "test_view_verb.moc"
