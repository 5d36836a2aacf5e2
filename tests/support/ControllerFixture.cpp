// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/ControllerFixture.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTextBrowser>

namespace ostrel::test {

ControllerFixture::ControllerFixture(Waits waits, QUrl site, bool awake, CommandRunner* runner,
                                     std::optional<AdbServerAddress> adbServer, bool followed,
                                     ViewerTrials* ownViewers, const QString& settingsFile)
    : settings(settingsFile.isEmpty()
                   ? directory.filePath(QStringLiteral("settings/ostrel-dravik.conf"))
                   : settingsFile) {
    // A server's output that falls back to the cache folder goes to Qt's
    // folder for tests, never the user's.
    QStandardPaths::setTestModeEnabled(true);
    if (!runner) {
        processes = std::make_unique<ProcessRunner>();
        runner = processes.get();
    }
    server.listen();
    server.setLiveReply("host:list-forward",
                        [this] { return FakeAdbServer::okay(forwardsHeld()); });
    SessionEnvironment environment;
    environment.adbServer = adbServer ? adbServer : server.address();
    // Only a server the test chose is followed, never the fake one, so that
    // flows list phones as a runner scripts them.
    environment.followDevices = adbServer && followed;
    environment.localPortFree = [this](TcpPort port) { return localPortFree(port); };
    controller = std::make_unique<AppDelegate>(
        desktop, *runner, settings, QCoreApplication::applicationDirPath(),
        ownViewers ? *ownViewers : viewers, std::move(environment), std::move(site), waits);
    window = std::make_unique<MainWindow>(*controller);
    window->show();
    if (awake)
        controller->awakeFromNib();
}

ControllerFixture::~ControllerFixture() {
    // The controller cancels whatever still runs, while the window exists.
    controller->endAtOnce();
    window.reset();
    controller.reset();
    processes.reset();
}

void ControllerFixture::chooseAdb(const QString& adbPath) {
    settings.storeChosenAdb(adbPath);
}

QString ControllerFixture::consoleText() const {
    return window->ui.textView->toPlainText();
}

bool ControllerFixture::flowRunning() const {
    return !window->ui.startButton->isEnabled();
}

bool ControllerFixture::noFlowAfterQuit() {
    controller->appendStringToTextView(QStringLiteral("-\r\n"));
    // The console shows what it is given a turn later.
    if (!QTest::qWaitFor([this] { return !consoleText().isEmpty(); }))
        return false;
    controller->onClearButtonClicked();
    return consoleText().isEmpty();
}

} // namespace ostrel::test
