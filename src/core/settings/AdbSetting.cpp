#include "core/settings/AdbSetting.h"

#include "core/process/AdbLocator.h"
#include "core/settings/ProgramSettings.h"
#include "core/text/VisibleText.h"
#include "launch/ProgramHandOver.h"

#include <QCoreApplication>
#include <QFile>

#include <optional>

namespace ostrel {

namespace {

// Beside the ostrel-dravik that was started, whichever of its programs asks.
QString programFolder() {
    const QByteArray own = QFile::encodeName(QCoreApplication::applicationDirPath());
    return QFile::decodeName(QByteArray::fromStdString(launch::launcherFolder(own.toStdString())));
}

} // namespace

QString chosenAdbSetting() {
    return programSettings().value(AdbSettingKey).toString();
}

QString getAdbPath() {
    const QString chosen = chosenAdbSetting();
    std::optional<QString> chosenPath;
    if (!chosen.isEmpty())
        chosenPath = chosen;
    return locateAdb(chosenPath, programFolder(), QProcessEnvironment::systemEnvironment());
}

QString adbNotFoundMessage() {
    const QStringList tried =
        adbCandidatesBeforePath(programFolder(), QProcessEnvironment::systemEnvironment());
    return QStringLiteral("Error: adb was not found: no adb chosen, none at %1, none on PATH. "
                          "Click the adb button to choose it.\r\n")
        .arg(tried.join(QStringLiteral(", ")));
}

QString adbSearchNote() {
    if (!chosenAdbSetting().isEmpty())
        return {};
    QStringList leftOut;
    for (const IgnoredAdbFolder& ignored :
         ignoredAdbFolders(QProcessEnvironment::systemEnvironment()))
        leftOut.append(
            QStringLiteral("\"%1\" in %2").arg(visibleText(ignored.folder), ignored.variable));
    if (leftOut.isEmpty())
        return {};
    return QStringLiteral(
               "Note: adb is looked for only in folders named in full; left out: %1.\r\n")
        .arg(leftOut.join(QStringLiteral(", ")));
}

QString storeChosenAdb(const QString& path) {
    QSettings settings = programSettings();
    settings.setValue(AdbSettingKey, path);
    settings.sync();
    if (settings.status() == QSettings::NoError)
        return {};
    return settings.status() == QSettings::AccessError
               ? QStringLiteral("%1 could not be written").arg(settings.fileName())
               : QStringLiteral("%1 is not a valid settings file").arg(settings.fileName());
}

} // namespace ostrel
