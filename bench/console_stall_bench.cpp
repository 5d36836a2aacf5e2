// SPDX-License-Identifier: GPL-3.0-or-later
// The longest the window stops answering while a device listing prints
// something hostile. A 10 ms timer ticks through each run; the widest gap
// between two ticks is how long a user would have seen a frozen window. The
// listing is Start's, clicked in the window: the stand-in's output is no
// phone, so the flow ends with it.
// Run by hand: console_stall_bench [repetitions] [part of an output's name]
#include "core/process/ProcessRunner.h"
#include "core/settings/QSettingsStore.h"
#include "core/view/ProcessViewerTrials.h"
#include "gui/AppDelegate.h"
#include "gui/MainWindow.h"

#include <QApplication>
#include <QCoro/QCoroTask>
#include <QCoro/QCoroTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

// Prints the prepared output, then ends as the case says.
const char* const StandInScript = R"sh(#!/bin/sh
d='%1'
cat "$d/stdout"
cat "$d/stderr" >&2
case "$(cat "$d/end")" in
crash) kill -SEGV $$ ;;
hang) sleep 30 ;;
esac
exit "$(cat "$d/exit")"
)sh";

struct Output {
    const char* name;
    QByteArray standardOutput;
    QByteArray standardError;
    QByteArray end; // "exit", "crash" or "hang"
    int exitCode = 0;
};

QList<Output> hostileOutputs() {
    const QByteArray mib(1 << 20, 'x');
    QByteArray manyLines;
    for (int i = 0; i < 100000; ++i)
        manyLines += "line " + QByteArray::number(i) + "\n";
    QByteArray nuls = mib;
    for (qsizetype i = 0; i < nuls.size(); i += 7)
        nuls[i] = '\0';
    return {
        {"1 MiB line, standard output", mib, {}, "exit", 0},
        {"1 MiB line, standard error", {}, "error: " + mib, "exit", 1},
        {"100 000 lines", manyLines, {}, "exit", 0},
        {"1 MiB with NULs", nuls, {}, "exit", 0},
        {"1 MiB invalid UTF-8", QByteArray(1 << 20, '\xff'), {}, "exit", 0},
        {"1 MiB line, then a crash", mib, {}, "crash", 0},
        {"1 MiB line, then the time limit", mib, {}, "hang", 0},
    };
}

class SilentDesktop : public ostrel::Desktop {
public:
    QString adb;
    int runAlert(QWidget*, const ostrel::Alert&) override { return 0; }
    void openUrl(const QUrl&) override {}
    QString chooseFile(QWidget*, const ostrel::FileChoice&) override { return adb; }
    void quitApplication() override {}
};

void writeFile(const QDir& directory, const QString& name, const QByteArray& bytes) {
    QFile file(directory.filePath(name));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

struct Measure {
    qint64 longestStallMs = 0;
    qint64 totalMs = 0;
};

void waitFor(const std::function<bool()>& done) {
    while (!done())
        QCoro::waitFor(QCoro::sleepFor(std::chrono::milliseconds(20)));
}

Measure listDevicesThrough(ostrel::MainWindow& window) {
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = 0;
    qint64 longest = 0;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        longest = std::max(longest, now - lastTick);
        lastTick = now;
    });
    ticker.start();
    window.ui.startButton->click();
    // The controls are off while the flow runs.
    waitFor([&window] { return window.ui.startButton->isEnabled(); });
    // Whatever the console still has to show counts as well: it is done once
    // its text stays the same for a while.
    QTextDocument* console = window.ui.textView->document();
    for (int length = -1; length != console->characterCount();) {
        length = console->characterCount();
        QCoro::waitFor(QCoro::sleepFor(std::chrono::milliseconds(200)));
    }
    ticker.stop();
    const qint64 now = clock.elapsed();
    return {std::max(longest, now - lastTick), now};
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const QString only = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    QTemporaryDir directory;
    QStandardPaths::setTestModeEnabled(true);
    const QDir dir(directory.path());
    writeFile(dir, "adb", QString::fromUtf8(StandInScript).arg(directory.path()).toUtf8());
    QFile::setPermissions(dir.filePath("adb"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    SilentDesktop desktop;
    desktop.adb = dir.filePath("adb");
    ostrel::ProcessRunner runner;
    ostrel::Waits waits;
    waits.commandTimeout = std::chrono::milliseconds(2000);
    ostrel::ProcessViewerTrials viewers(ostrel::ProcessViewerTrials::systemSearchPath());
    // No adb server is asked about forwards or followed: only the listing counts.
    ostrel::QSettingsStore settings(dir.filePath(QStringLiteral("settings.conf")));
    ostrel::AppDelegate controller(
        desktop, runner, settings, QCoreApplication::applicationDirPath(), viewers,
        ostrel::SessionEnvironment{}, QUrl(QStringLiteral("http://127.0.0.1:9")), waits);
    ostrel::MainWindow window(controller);
    window.show();
    window.ui.adbButton->click();

    std::printf("%-34s %16s %12s\n", "output", "longest stall ms", "total ms");
    for (const Output& output : hostileOutputs()) {
        if (!QString::fromUtf8(output.name).contains(only))
            continue;
        writeFile(dir, "stdout", output.standardOutput);
        writeFile(dir, "stderr", output.standardError);
        writeFile(dir, "end", output.end);
        writeFile(dir, "exit", QByteArray::number(output.exitCode));
        Measure worst;
        for (int i = 0; i < repetitions; ++i) {
            window.ui.textView->clear();
            const Measure measure = listDevicesThrough(window);
            worst.longestStallMs = std::max(worst.longestStallMs, measure.longestStallMs);
            worst.totalMs = std::max(worst.totalMs, measure.totalMs);
        }
        std::printf("%-34s %16lld %12lld\n", output.name,
                    static_cast<long long>(worst.longestStallMs),
                    static_cast<long long>(worst.totalMs));
        std::fflush(stdout);
    }
    return 0;
}
