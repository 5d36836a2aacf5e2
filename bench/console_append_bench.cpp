// SPDX-License-Identifier: GPL-3.0-or-later
// How much one console append costs as the console grows. Appends must not
// re-lay out the whole document, so the cost per append should stay flat.
#include "core/process/OutputLineBuffer.h"
#include "core/process/ProcessRunner.h"
#include "core/settings/QSettingsStore.h"
#include "core/view/ProcessViewerTrials.h"
#include "gui/AppDelegate.h"
#include "gui/MainWindow.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QUrl>

#include <benchmark/benchmark.h>

namespace {

class SilentDesktop : public ostrel::Desktop {
public:
    int runAlert(QWidget*, const ostrel::Alert&) override { return 0; }
    void openUrl(const QUrl&) override {}
    QString chooseFile(QWidget*, const ostrel::FileChoice&) override { return {}; }
    void quitApplication() override {}
};

void appendToConsoleHolding(benchmark::State& state) {
    SilentDesktop desktop;
    ostrel::ProcessRunner runner;
    ostrel::ProcessViewerTrials viewers(ostrel::ProcessViewerTrials::systemSearchPath());
    const QTemporaryDir folder;
    ostrel::QSettingsStore settings(folder.filePath(QStringLiteral("settings.conf")));
    ostrel::AppDelegate controller(
        desktop, runner, settings, QCoreApplication::applicationDirPath(), viewers,
        ostrel::SessionEnvironment{}, QUrl(QStringLiteral("http://127.0.0.1:9")));
    ostrel::MainWindow window(controller);
    window.show();
    QString filler;
    for (int64_t i = 0; i < state.range(0); ++i)
        filler += QStringLiteral("u0_a123 4242 1 12345 678 ffffffff 00000000 S some.process\r\n");
    controller.appendStringToTextView(filler);
    const QString line = QStringLiteral("Checking Android devices...\r\n");
    for (auto _ : state)
        controller.appendStringToTextView(line);
    state.SetItemsProcessed(state.iterations());
}

void assembleProcessListing(benchmark::State& state) {
    QByteArray listing;
    for (int i = 0; i < state.range(0); ++i)
        listing += "u0_a123 " + QByteArray::number(1000 + i) + " 1 1234 567 ffff 0000 S proc\r\n";
    ostrel::OutputLineBuffer buffer;
    int64_t lines = 0;
    for (auto _ : state)
        buffer.assemble(std::string_view(listing.constData(), std::size_t(listing.size())),
                        [&](char*) { ++lines; });
    benchmark::DoNotOptimize(lines);
    state.SetBytesProcessed(state.iterations() * listing.size());
}

} // namespace

BENCHMARK(appendToConsoleHolding)->Arg(100)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(assembleProcessListing)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
