// SPDX-License-Identifier: GPL-3.0-or-later
// The built programs ended by a signal while an adb command of theirs hangs,
// as a desktop logout (SIGTERM, SIGHUP), a closed terminal (SIGHUP) or Ctrl+C
// ends them. Each adb command runs in a process group of its own, which no
// signal to the program reaches: the program has to end it itself.
#include "support/FakeAdbServer.h"
#include "support/StandInAdb.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <optional>
#include <sys/types.h>
#include <unistd.h>

using namespace ostrel::test;

namespace {

const QString Launcher = QStringLiteral(OSTREL_DRAVIK_EXECUTABLE);

// Of the fields of /proc/PID/stat after the command name, the state and the
// process group.
struct ProcessStat {
    char state = '?';
    pid_t group = 0;
};

std::optional<ProcessStat> statOf(pid_t pid) {
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray fields = file.readAll();
    const QList<QByteArray> rest = fields.mid(fields.lastIndexOf(')') + 2).split(' ');
    if (rest.size() < 3 || rest[0].isEmpty())
        return std::nullopt;
    return ProcessStat{rest[0].at(0), static_cast<pid_t>(rest[2].toInt())};
}

QList<pid_t> allProcesses() {
    QList<pid_t> pids;
    for (const QString& name : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const int pid = name.toInt(&number);
        if (number)
            pids.append(static_cast<pid_t>(pid));
    }
    return pids;
}

// Whether a process of `group` still runs; a zombie waiting for its reaper
// is past running. Without /proc, zombies count.
bool groupRuns(pid_t group) {
    if (!QFile::exists(QStringLiteral("/proc/self/stat")))
        return ::kill(-group, 0) == 0;
    const QList<pid_t> pids = allProcesses();
    return std::any_of(pids.cbegin(), pids.cend(), [group](pid_t pid) {
        const std::optional<ProcessStat> stat = statOf(pid);
        return stat && stat->group == group && stat->state != 'Z';
    });
}

// The groups of every run of the stand-in adb now running: each run's shell
// has the script's path on its command line, and the last run's child left
// its pid.
QSet<pid_t> standInGroups(const StandInAdb& adb) {
    QSet<pid_t> groups;
    for (const pid_t pid : allProcesses()) {
        QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (!commandLine.open(QIODevice::ReadOnly) ||
            !commandLine.readAll().split('\0').contains(QFile::encodeName(adb.path())))
            continue;
        if (const std::optional<ProcessStat> stat = statOf(pid))
            groups.insert(stat->group);
    }
    QFile grandchild(adb.grandchildPidFile());
    if (grandchild.open(QIODevice::ReadOnly)) {
        const pid_t group = ::getpgid(static_cast<pid_t>(grandchild.readAll().trimmed().toInt()));
        if (group > 0)
            groups.insert(group);
    }
    return groups;
}

// Whatever a failed test leaves running goes with the test.
struct GroupReaper {
    QSet<pid_t> groups;
    ~GroupReaper() {
        for (const pid_t group : std::as_const(groups))
            ::kill(-group, SIGKILL);
    }
};

// A built program whose adb command hangs, with a child of its own, until
// the program ends it: the window probing the phone that a stand-in adb
// server lists, or the command line listing the phones.
class ProgramWithHungAdb {
public:
    // `ignored`: a signal the program is started with ignored, as nohup does.
    ProgramWithHungAdb(bool window, int ignored = 0) {
        adb_.setStandardOutput("List of devices attached\nemulator-5554\tdevice\n\n");
        adb_.setStartsGrandchild();
        adb_.setSleepSeconds(60);
        server_.setDevices("emulator-5554\tdevice\n");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "ANDROID_HOME",
                                 "ANDROID_SDK_ROOT", "ADB_SERVER_SOCKET"})
            environment.remove(QString::fromLatin1(name));
        if (window)
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("HOME"), directory_.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), directory_.filePath("config"));
        environment.insert(QStringLiteral("PATH"), QFileInfo(adb_.path()).path() + u':' +
                                                       environment.value(QStringLiteral("PATH")));
        program.setProcessEnvironment(environment);
        program.setProgram(Launcher);
        program.setArguments(window ? QStringList{} : QStringList{QStringLiteral("--devices")});
        program.setStandardInputFile(QProcess::nullDevice());
        // Whatever this test was started with, the program gets the signals'
        // usual dispositions.
        program.setChildProcessModifier([ignored] {
            for (const int number : {SIGINT, SIGTERM, SIGHUP})
                ::signal(number, number == ignored ? SIG_IGN : SIG_DFL);
        });
    }

    // Starts the program and waits until its adb hangs; the groups of its
    // adb commands are then known.
    bool start() {
        if (!server_.listen())
            return false;
        QProcessEnvironment environment = program.processEnvironment();
        environment.insert(QStringLiteral("ANDROID_ADB_SERVER_PORT"),
                           QString::number(server_.port()));
        program.setProcessEnvironment(environment);
        program.start();
        if (!QTest::qWaitFor([this] { return QFile::exists(adb_.grandchildPidFile()); }, 20000))
            return false;
        adbGroups_.groups = standInGroups(adb_);
        return !adbGroups_.groups.isEmpty() && !adbGroups_.groups.contains(::getpgrp()) &&
               !adbGroups_.groups.contains(static_cast<pid_t>(program.processId()));
    }

    void signal(int signalNumber) const {
        ::kill(static_cast<pid_t>(program.processId()), signalNumber);
    }

    bool adbGroupRuns() const {
        return std::any_of(adbGroups_.groups.cbegin(), adbGroups_.groups.cend(), groupRuns);
    }
    const StandInAdb& adb() const { return adb_; }

private:
    QTemporaryDir directory_;
    StandInAdb adb_{directory_.filePath(QStringLiteral("adb-bin"))};
    FakeAdbServer server_;
    GroupReaper adbGroups_;

public:
    // Ended first, should the test fail, and its leftovers after it.
    QProcess program;
};

} // namespace

class E2eSignalsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void signalEndsTheProgramAndItsAdb_data() {
        QTest::addColumn<bool>("window");
        QTest::addColumn<int>("signalNumber");
        for (const auto& [name, number] :
             {std::pair{"SIGINT", SIGINT}, {"SIGTERM", SIGTERM}, {"SIGHUP", SIGHUP}}) {
            QTest::addRow("window, %s", name) << true << number;
            QTest::addRow("command line, %s", name) << false << number;
        }
    }

    // The program ends at once with 128 + the signal's number, its adb's
    // whole group with it, and the window leaves adb's server alone: only
    // Quit stops that.
    void signalEndsTheProgramAndItsAdb() {
        QFETCH(bool, window);
        QFETCH(int, signalNumber);
        ProgramWithHungAdb hung(window);
        QVERIFY(hung.start());

        QElapsedTimer clock;
        clock.start();
        hung.signal(signalNumber);
        const bool ended = hung.program.waitForFinished(5000);
        const QString story = QStringLiteral("status %1 %2 after %3 ms\n%4")
                                  .arg(hung.program.exitStatus())
                                  .arg(hung.program.exitCode())
                                  .arg(clock.elapsed())
                                  .arg(QString::fromUtf8(hung.program.readAllStandardError()));
        QVERIFY2(ended && hung.program.exitStatus() == QProcess::NormalExit, qPrintable(story));
        QCOMPARE(hung.program.exitCode(), 128 + signalNumber);
        QVERIFY2(clock.elapsed() < 2000, qPrintable(story));
        while (hung.adbGroupRuns() && clock.elapsed() < 2000)
            QTest::qWait(50);
        QVERIFY2(!hung.adbGroupRuns(), "a process of adb's group still runs 2 s after the signal");
        QCOMPARE(hung.adb().finishedRuns(), 0);
        // A detached kill-server would be on its way by now.
        QTest::qWait(300);
        QVERIFY(!hung.adb().invocations().contains(QStringList{QStringLiteral("kill-server")}));
    }

    // Started with SIGHUP ignored (nohup, a job meant to outlive its
    // terminal), the program lets a hang-up pass; other signals still end it.
    void ignoredHangUpStaysIgnored() {
        ProgramWithHungAdb hung(false, SIGHUP);
        QVERIFY(hung.start());
        hung.signal(SIGHUP);
        QVERIFY(!hung.program.waitForFinished(500));
        QVERIFY(hung.adbGroupRuns());
        hung.signal(SIGTERM);
        QVERIFY(hung.program.waitForFinished(5000));
        QCOMPARE(hung.program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(hung.program.exitCode(), 128 + SIGTERM);
    }
};

QTEST_GUILESS_MAIN(E2eSignalsTest)
#include "test_e2e_signals.moc"
