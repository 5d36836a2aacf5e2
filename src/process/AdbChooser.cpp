// Letting the user pick the adb executable that every later command runs.
#include "app/AppDelegate.h"
#include "app/ProgramSettings.h"

#include <QFileInfo>
#include <QMainWindow>

namespace ostrel {

namespace {

FileChoice adbFileChoice(const QString& adbInEffect) {
    FileChoice choice;
    choice.title = QStringLiteral("Choose adb");
    choice.acceptLabel = QStringLiteral("Select adb");
    if (!adbInEffect.isEmpty())
        choice.startDirectory = QFileInfo(adbInEffect).absolutePath();
    return choice;
}

void storeChosenAdb(const QString& path) {
    QSettings settings = programSettings();
    settings.setValue(AdbSettingKey, path);
    settings.sync();
}

} // namespace

void AppDelegate::onAdbButtonClicked() {
    runUserAction([this] {
        const QString chosen = desktop_.chooseFile(window, adbFileChoice(getAdbPath()));
        if (chosen.isEmpty())
            return; // cancelled: nothing changes
        qInfo("select file: %s", qUtf8Printable(chosen));
        storeChosenAdb(chosen);
    });
}

} // namespace ostrel
