// SPDX-License-Identifier: GPL-3.0-or-later
// Which viewer View opens, in what order, with what arguments: scripted for
// every case, and once with real stand-in programs on a search path.
#include "core/session/SessionConsole.h"
#include "core/view/ProcessViewerTrials.h"
#include "core/view/ViewerLauncher.h"
#include "support/ScriptedViewers.h"
#include "support/TestPorts.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;

namespace {

using Calls = QList<QStringList>;

LocalPair pairAt(int vnc, std::optional<int> web) {
    return LocalPair{portOf(vnc), web ? std::optional<TcpPort>(portOf(*web)) : std::nullopt,
                     portOf(5901), portOf(5801)};
}

// What the console was told, "\r\n" as "\n", and the links' targets.
struct Told {
    explicit Told(SessionConsole& console) {
        QObject::connect(
            &console, &SessionConsole::consoleText, &console,
            [this](const QString& text) { lines += QString(text).replace("\r\n", "\n"); });
        QObject::connect(&console, &SessionConsole::consoleLink, &console,
                         [this](const QString& description, const QUrl& url) {
                             lines += QString(description).replace("\r\n", "\n");
                             links.append(url);
                         });
    }
    QString lines;
    QList<QUrl> links;
};

// A stand-in program: records its arguments in `log`, one line each run,
// then exits with `status` at once, or keeps running for a while.
void writeStandIn(const QDir& folder, const QString& name, const QString& log, int status,
                  bool lingers = false) {
    QFile file(folder.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    const QString later =
        QStringLiteral("sleep 1.5\necho \"%1 lived on\" >> '%2'\n").arg(name, log);
    file.write(QStringLiteral("#!/bin/sh\necho \"%1 $*\" >> '%2'\n%3exit %4\n")
                   .arg(name, log, lingers ? later : QString())
                   .arg(status)
                   .toUtf8());
    file.close();
    QVERIFY(file.setPermissions(file.permissions() | QFile::ExeOwner));
}

QStringList logged(const QString& log) {
    QFile file(log);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace

class ViewerLaunchTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Each case present or absent, and one that fails at once: the first
    // that works is opened, and each passed over is named.
    void opensTheFirstThatWorks_data() {
        QTest::addColumn<QStringList>("onPath");
        QTest::addColumn<QStringList>("failing");
        QTest::addColumn<QString>("handler");
        QTest::addColumn<int>("local");
        QTest::addColumn<Calls>("calls");
        QTest::addColumn<QString>("opened");
        const QStringList desktop{"xdg-mime", "xdg-open"};
        const QStringList query{"xdg-mime", "query", "default", "x-scheme-handler/vnc"};
        QTest::newRow("desktop handler")
            << desktop + QStringList{"vncviewer"} << QStringList{} << "remmina.desktop" << 5901
            << Calls{query, {"xdg-open", "vnc://localhost:5901"}}
            << "Opened with remmina.desktop (the desktop's handler for vnc://): "
               "vnc://localhost:5901\n\n";
        QTest::newRow("no handler: a known viewer")
            << desktop + QStringList{"xtigervncviewer", "vncviewer"} << QStringList{} << "" << 5902
            << Calls{query, {"xtigervncviewer", "localhost::5902"}}
            << "Opened with xtigervncviewer: vnc://localhost:5902\n\n";
        QTest::newRow("handler fails, vncviewer next")
            << desktop + QStringList{"vncviewer"} << QStringList{"xdg-open"} << "x.desktop" << 5901
            << Calls{query, {"xdg-open", "vnc://localhost:5901"}, {"vncviewer", "localhost::5901"}}
            << "Opened with vncviewer: vnc://localhost:5901\n\n";
        QTest::newRow("krdc") << QStringList{"krdc", "remmina"} << QStringList{} << "" << 5901
                              << Calls{{"krdc", "vnc://localhost:5901"}}
                              << "Opened with krdc: vnc://localhost:5901\n\n";
        QTest::newRow("gvncviewer takes a display")
            << QStringList{"gvncviewer", "remmina"} << QStringList{} << "" << 5903
            << Calls{{"gvncviewer", "localhost:3"}}
            << "Opened with gvncviewer: vnc://localhost:5903\n\n";
        QTest::newRow("gvncviewer cannot reach below 5900")
            << QStringList{"gvncviewer", "remmina"} << QStringList{} << "" << 5899
            << Calls{{"remmina", "vnc://localhost:5899"}}
            << "Opened with remmina: vnc://localhost:5899\n\n";
        QTest::newRow("every viewer fails: the web client")
            << QStringList{"vncviewer", "remmina", "xdg-open"}
            << QStringList{"vncviewer", "remmina"} << "" << 5901
            << Calls{{"vncviewer", "localhost::5901"},
                     {"remmina", "vnc://localhost:5901"},
                     {"xdg-open", "http://localhost:5801/"}}
            << "Opened with the web browser: http://localhost:5801/\n\n";
        QTest::newRow("nothing at all")
            << QStringList{} << QStringList{} << "" << 5901 << Calls{}
            << "Error: no viewer could be opened. Choose one with File > Choose VNC Viewer, or "
               "open this address in yours: vnc://localhost:5901\n\n";
    }
    void opensTheFirstThatWorks() {
        QFETCH(QStringList, onPath);
        QFETCH(QStringList, failing);
        QFETCH(QString, handler);
        QFETCH(int, local);
        QFETCH(Calls, calls);
        QFETCH(QString, opened);
        ScriptedViewers viewers;
        viewers.onPath = QSet<QString>(onPath.begin(), onPath.end());
        for (const QString& name : failing)
            viewers.failures.insert(name, QStringLiteral("exit status 1"));
        viewers.vncHandler = handler;
        SessionConsole console;
        Told told(console);
        ViewerLauncher launcher(viewers, DesktopKind::Freedesktop);
        const Step<bool> result =
            QCoro::waitFor(launcher.open(pairAt(local, local - 100), QString(), console));
        QCOMPARE(viewers.calls, calls);
        QVERIFY(result.goesOn());
        QCOMPARE(result.value, !calls.isEmpty());
        QVERIFY2(told.lines.endsWith(opened), qPrintable(told.lines));
        // One line for each that did not work.
        for (const QString& name : failing)
            QVERIFY(told.lines.contains(
                QStringLiteral("%1 did not work (exit status 1); trying the next viewer.\n")
                    .arg(name == "xdg-open" ? "x.desktop (the desktop's handler for vnc://)"
                                            : name)));
    }

    // The user's choice comes first; a known name gets its own syntax, any
    // other the address alone; a setting that names no program is passed over.
    void chosenViewerFirst_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("runnable");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("known") << "vncviewer" << true << QStringList{"localhost::5901"};
        QTest::newRow("unknown") << "myviewer" << true << QStringList{"vnc://localhost:5901"};
        QTest::newRow("not executable") << "vncviewer" << false << QStringList{};
    }
    void chosenViewerFirst() {
        QFETCH(QString, name);
        QFETCH(bool, runnable);
        QFETCH(QStringList, arguments);
        QTemporaryDir folder;
        const QString chosen = folder.filePath(name);
        QFile file(chosen);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        if (runnable)
            QVERIFY(file.setPermissions(file.permissions() | QFile::ExeOwner));
        ScriptedViewers viewers;
        viewers.onPath = {"remmina"};
        SessionConsole console;
        Told told(console);
        ViewerLauncher launcher(viewers, DesktopKind::Freedesktop);
        QCoro::waitFor(launcher.open(pairAt(5901, 5801), chosen, console));
        if (runnable) {
            QCOMPARE(viewers.calls, Calls{QStringList{name} + arguments});
        } else {
            QCOMPARE(viewers.calls, (Calls{{"remmina", "vnc://localhost:5901"}}));
            QVERIFY(told.lines.startsWith(
                QStringLiteral("The chosen viewer %1 is not a program that can be run")
                    .arg(chosen)));
        }
    }

    // macOS: `open` hands the address to the system's own viewer.
    void macOpensWithOpen() {
        ScriptedViewers viewers;
        viewers.onPath = {"open", "xdg-mime", "xdg-open"};
        SessionConsole console;
        ViewerLauncher launcher(viewers, DesktopKind::MacOS);
        QCoro::waitFor(launcher.open(pairAt(5902, std::nullopt), QString(), console));
        QCOMPARE(viewers.calls, (Calls{{"open", "vnc://localhost:5902"}}));
    }

    // Real programs on a search path of their own: one that fails at once
    // is passed over within its trial, one that lingers counts as working as
    // soon as its trial is over, and goes on after it.
    void realViewersOnTheSearchPath() {
        QTemporaryDir folder;
        const QDir bin(folder.path());
        const QString log = folder.filePath("log");
        writeStandIn(bin, "xdg-mime", log, 0); // prints no handler
        writeStandIn(bin, "xdg-open", log, 0);
        writeStandIn(bin, "xtigervncviewer", log, 1);
        writeStandIn(bin, "krdc", log, 0, true);
        writeStandIn(bin, "remmina", log, 0);
        // A directory by a viewer's name is no program, and a folder not
        // named in full is not searched.
        QVERIFY(bin.mkpath("sub/vncviewer"));
        QVERIFY(bin.mkpath("relative"));
        writeStandIn(QDir(bin.filePath("relative")), "gvncviewer", log, 0);
        const QString startedIn = QDir::currentPath();
        QVERIFY(QDir::setCurrent(bin.path()));
        ProcessViewerTrials trials({"relative", bin.filePath("sub"), bin.path()},
                                   std::chrono::milliseconds(800));
        QCOMPARE(trials.find("vncviewer"), QString());
        QCOMPARE(trials.find("gvncviewer"), QString());
        QCOMPARE(trials.find("krdc"), bin.filePath("krdc"));
        SessionConsole console;
        Told told(console);
        ViewerLauncher launcher(trials, DesktopKind::Freedesktop);
        QElapsedTimer clock;
        clock.start();
        const Step<bool> result =
            QCoro::waitFor(launcher.open(pairAt(5901, 5801), QString(), console));
        QVERIFY(result.goesOn() && result.value);
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY2(clock.elapsed() >= 700, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(logged(log),
                 (QStringList{"xdg-mime query default x-scheme-handler/vnc",
                              "xtigervncviewer localhost::5901", "krdc vnc://localhost:5901"}));
        QVERIFY(told.lines.contains(
            "xtigervncviewer did not work (exit status 1); trying the next viewer.\n"));
        QVERIFY(told.lines.endsWith("Opened with krdc: vnc://localhost:5901\n\n"));
        QCOMPARE(told.links.last(), QUrl("vnc://localhost:5901"));
        QDir::setCurrent(startedIn);
        // Its trial over, the viewer is left running, not taken down.
        QTRY_VERIFY_WITH_TIMEOUT(logged(log).contains("krdc lived on"), 5000);
    }

    // A viewer that ends well at once, as an opener does once it has handed
    // the address on, works without waiting out its trial.
    void quickSuccessNeedsNoWait() {
        QTemporaryDir folder;
        const QString log = folder.filePath("log");
        writeStandIn(QDir(folder.path()), "xdg-open", log, 0);
        ProcessViewerTrials trials({folder.path()}, std::chrono::milliseconds(3000));
        SessionConsole console;
        ViewerLauncher launcher(trials, DesktopKind::Freedesktop);
        QElapsedTimer clock;
        clock.start();
        const Step<bool> result =
            QCoro::waitFor(launcher.open(pairAt(5901, 5801), QString(), console));
        QVERIFY(result.value);
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(logged(log), QStringList{"xdg-open http://localhost:5801/"});
    }
};

QTEST_GUILESS_MAIN(ViewerLaunchTest)
#include "test_viewer_launch.moc"
