// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/settings/AdbLookup.h"

#include "core/process/AdbLocator.h"
#include "core/text/VisibleText.h"

#include <QProcessEnvironment>

#include <optional>

namespace ostrel {

AdbLookup::AdbLookup(std::function<QString()> chosen, QString launcherFolder)
    : chosen_(std::move(chosen)), launcherFolder_(std::move(launcherFolder)) {}

QString AdbLookup::path() const {
    const QString chosenPath = chosen();
    std::optional<QString> choice;
    if (!chosenPath.isEmpty())
        choice = chosenPath;
    return locateAdb(choice, launcherFolder_, QProcessEnvironment::systemEnvironment());
}

QString AdbLookup::notFoundMessage() const {
    const QStringList tried =
        adbCandidatesBeforePath(launcherFolder_, QProcessEnvironment::systemEnvironment());
    return QStringLiteral("Error: adb was not found: no adb chosen, none at %1, none on PATH. "
                          "Click the adb button to choose it.\r\n")
        .arg(tried.join(QStringLiteral(", ")));
}

QString AdbLookup::searchNote() const {
    if (!chosen().isEmpty())
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

} // namespace ostrel
