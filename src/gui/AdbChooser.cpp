// Letting the user pick the adb executable that every later command runs.
#include "core/settings/AdbSetting.h"
#include "gui/AppDelegate.h"

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

} // namespace

QString AppDelegate::adbInEffect() const {
    return chosenAdb_.isEmpty() ? getAdbPath() : chosenAdb_;
}

void AppDelegate::onAdbButtonClicked() {
    if (quitting_ || session_.isBusy())
        return;
    const QString chosen = desktop_.chooseFile(window, adbFileChoice(adbInEffect()));
    if (chosen.isEmpty())
        return; // cancelled: nothing changes
    qInfo("select file: %s", qUtf8Printable(chosen));
    chosenAdb_ = chosen;
    const QString failure = storeChosenAdb(chosen);
    if (!failure.isEmpty()) {
        desktop_.runAlert(window,
                          Alert{QStringLiteral("The chosen adb could not be saved."), failure});
    }
}

} // namespace ostrel
