// SPDX-License-Identifier: GPL-3.0-or-later
// The launcher and the command line hand the process over to the program
// beside them. When that program is not the one its name says (a link or a
// copy of the one handing over, as a broken install or a hand-made folder
// has it) the hand-over would start the same programs again and again, for
// ever: it is refused with one line instead.
#include "support/FakeAdbServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using ostrel::test::FakeAdbServer;

namespace {

const QString Launcher = QStringLiteral(OSTREL_DRAVIK_EXECUTABLE);
const QString CommandLine = QStringLiteral(OSTREL_DRAVIK_CLI_EXECUTABLE);
const QString Window = QStringLiteral(OSTREL_DRAVIK_WINDOW_EXECUTABLE);

// What a file in the folder is: a copy of one of the built programs
// ("launcher", "cli", "window"), or a link to another file of the folder
// ("->NAME").
bool place(const QDir& folder, const QString& name, const QString& what) {
    if (what.startsWith(u"->"_s))
        return QFile::link(what.mid(2), folder.filePath(name));
    const QString source = what == u"launcher"_s ? Launcher
                           : what == u"cli"_s    ? CommandLine
                                                 : Window;
    return QFile::copy(source, folder.filePath(name));
}

// The program as a script or the desktop starts it, with no display but
// the one named and settings of its own.
QProcessEnvironment programEnvironment(const QTemporaryDir& home) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(u"DISPLAY"_s);
    environment.remove(u"WAYLAND_DISPLAY"_s);
    environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    environment.insert(u"HOME"_s, home.path());
    environment.insert(u"XDG_CONFIG_HOME"_s, home.filePath(u"config"_s));
    return environment;
}

} // namespace

class E2eLauncherTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void handingOverToItselfIsRefused_data() {
        QTest::addColumn<QString>("commandLineIs");
        QTest::addColumn<QString>("windowIs");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("limitMs");
        const QStringList devices{u"--devices"_s};
        const QStringList qtOptions{u"-platform"_s, u"offscreen"_s};
        // The launcher alone: it loads no Qt, so it knows at once.
        QTest::newRow("command line a link to the launcher")
            << u"->ostrel-dravik"_s << u"window"_s << devices << 1000;
        QTest::newRow("command line a copy of the launcher")
            << u"launcher"_s << u"window"_s << devices << 1000;
        QTest::newRow("window a link to the launcher")
            << u"cli"_s << u"->ostrel-dravik"_s << QStringList{} << 1000;
        QTest::newRow("window a copy of the launcher")
            << u"cli"_s << u"launcher"_s << QStringList{} << 1000;
        // Qt's own options go from the launcher through the command line to
        // the window: the command line, on Qt, starts slower.
        QTest::newRow("window a link to the command line")
            << u"cli"_s << u"->ostrel-dravik-cli"_s << qtOptions << 3000;
        QTest::newRow("window a copy of the command line")
            << u"cli"_s << u"cli"_s << qtOptions << 3000;
        // Three files, none of them the other: only the programs already
        // handed to show the circle.
        QTest::newRow("window a copy of the launcher, Qt's options given")
            << u"cli"_s << u"launcher"_s << qtOptions << 3000;
    }
    void handingOverToItselfIsRefused() {
        QFETCH(QString, commandLineIs);
        QFETCH(QString, windowIs);
        QFETCH(QStringList, arguments);
        QFETCH(int, limitMs);
        QTemporaryDir directory;
        const QDir bin(directory.filePath(u"bin"_s));
        QVERIFY(QDir().mkpath(bin.path()));
        QVERIFY(place(bin, u"ostrel-dravik"_s, u"launcher"_s));
        QVERIFY(place(bin, u"ostrel-dravik-cli"_s, commandLineIs));
        QVERIFY(place(bin, u"ostrel-dravik-window"_s, windowIs));

        QProcess program;
        program.setProcessEnvironment(programEnvironment(directory));
        program.setStandardInputFile(QProcess::nullDevice());
        QElapsedTimer clock;
        clock.start();
        program.start(bin.filePath(u"ostrel-dravik"_s), arguments);
        const bool ended = program.waitForFinished(limitMs + 2000);
        const qint64 elapsed = clock.elapsed();
        if (!ended) {
            program.kill();
            program.waitForFinished(5000);
        }
        const QString errors = QString::fromUtf8(program.readAllStandardError());
        const QString story = QStringLiteral("after %1 ms, exit %2:\n%3")
                                  .arg(elapsed)
                                  .arg(ended ? program.exitCode() : -1)
                                  .arg(errors);
        QVERIFY2(ended && program.exitStatus() == QProcess::NormalExit, qPrintable(story));
        QCOMPARE(program.exitCode(), 1);
        QVERIFY2(elapsed < limitMs, qPrintable(story));
        QVERIFY2(errors.startsWith(u"Error: "_s) && errors.endsWith(u'\n') &&
                     errors.count(u'\n') == 1,
                 qPrintable(story));
        QCOMPARE(program.readAllStandardOutput(), QByteArray());
    }

    // What tells a program whom the process was already handed to is for
    // the programs alone: adb, and whatever else they start, never sees it.
    void childrenInheritNoHandOverMarker_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("command line") << QStringList{u"--devices"_s};
        // The launcher hands over to the command line, which hands over to
        // the window; the window runs adb once it lists the phone.
        QTest::newRow("window through the command line")
            << QStringList{u"-platform"_s, u"offscreen"_s};
    }
    void childrenInheritNoHandOverMarker() {
        QFETCH(QStringList, arguments);
        QTemporaryDir directory;
        const QString adb = directory.filePath(u"adb"_s);
        const QString seen = directory.filePath(u"adb-environment"_s);
        QFile script(adb);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nenv >> '" + QFile::encodeName(seen) +
                     "'\nprintf 'List of devices attached\\nemulator-5554\\tdevice\\n\\n'\n");
        script.close();
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        FakeAdbServer server;
        QVERIFY(server.listen());
        server.setDevices("emulator-5554\tdevice\n");

        QProcessEnvironment environment = programEnvironment(directory);
        environment.insert(u"PATH"_s, directory.path() + u':' + environment.value(u"PATH"_s));
        environment.remove(u"ANDROID_HOME"_s);
        environment.remove(u"ANDROID_SDK_ROOT"_s);
        environment.insert(u"ANDROID_ADB_SERVER_PORT"_s, QString::number(server.port()));
        QProcess program;
        program.setProcessEnvironment(environment);
        program.setStandardInputFile(QProcess::nullDevice());
        program.start(Launcher, arguments);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(seen).size() > 0, 20000);
        program.kill();
        program.waitForFinished(5000);
        QFile environmentSeen(seen);
        QVERIFY(environmentSeen.open(QIODevice::ReadOnly));
        const QByteArray lines = environmentSeen.readAll();
        QVERIFY2(lines.contains("\nHOME="), lines.constData());
        QVERIFY2(!lines.startsWith("OSTREL_DRAVIK_HANDED") &&
                     !lines.contains("\nOSTREL_DRAVIK_HANDED"),
                 lines.constData());
    }
};

QTEST_GUILESS_MAIN(E2eLauncherTest)
#include "test_e2e_launcher.moc"
