#include "support/ControllerFixture.h"

#include "core/settings/ProgramSettings.h"

#include <QSettings>
#include <QStandardPaths>
#include <QTextBrowser>

namespace ostrel::test {

void useSettingsIn(const QString& directory) {
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, directory);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, directory);
}

ControllerFixture::ControllerFixture(Waits waits, QUrl site, bool awake, CommandRunner* runner,
                                     std::optional<AdbServerAddress> followedServer,
                                     LocalPortProbe localPortFree) {
    useSettingsIn(directory.filePath(QStringLiteral("settings")));
    if (!runner) {
        processes = std::make_unique<ProcessRunner>();
        runner = processes.get();
    }
    controller = std::make_unique<AppDelegate>(desktop, *runner, std::move(site), waits,
                                               std::move(localPortFree));
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
    QSettings settings = programSettings();
    settings.setValue(AdbSettingKey, adbPath);
    settings.sync();
}

QString ControllerFixture::consoleText() const {
    return window->ui.textView->toPlainText();
}

} // namespace ostrel::test
