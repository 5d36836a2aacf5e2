#include "support/ControllerFixture.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <QTextBrowser>

namespace ostrel::test {

ControllerFixture::ControllerFixture(Waits waits, QUrl site, bool awake, CommandRunner* runner,
                                     std::optional<AdbServerAddress> followedServer,
                                     const QString& settingsFile, LocalPortProbe localPortFree)
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
    controller = std::make_unique<AppDelegate>(desktop, *runner, settings,
                                               QCoreApplication::applicationDirPath(),
                                               std::move(site), waits, std::move(localPortFree));
    controller->setViewerTrials(viewers);
    server.listen();
    server.setLiveReply("host:list-forward",
                        [this] { return FakeAdbServer::okay(forwardsHeld()); });
    controller->session().setServerAddress(followedServer ? followedServer : server.address());
    // Only a server the test chose is followed, never the fake one, so that
    // flows list phones as a runner scripts them.
    if (!followedServer)
        controller->session().stopWatching();
    window = std::make_unique<MainWindow>(*controller);
    window->show();
    if (awake)
        controller->awakeFromNib();
}

ControllerFixture::~ControllerFixture() {
    // The controller cancels whatever still runs, while the window exists.
    controller->session().cancel();
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

} // namespace ostrel::test
