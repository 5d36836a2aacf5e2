// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/process/AdbLocator.h"

#include "core/process/SearchFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

namespace ostrel {

namespace {

bool isRunnableFile(const QString& path) {
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

QStringList bundledCandidates(const QString& launcherFolder) {
    const QDir dir(launcherFolder);
#ifdef Q_OS_MACOS
    return {QDir::cleanPath(dir.filePath(QStringLiteral("../Resources/adb"))), dir.filePath("adb")};
#else
    return {dir.filePath(QStringLiteral("adb"))};
#endif
}

const char* const SdkVariables[] = {"ANDROID_HOME", "ANDROID_SDK_ROOT"};

QString sdkRoot(const QProcessEnvironment& environment, const char* variable) {
    return environment.value(QString::fromLatin1(variable));
}

QStringList sdkCandidates(const QProcessEnvironment& environment) {
    QStringList candidates;
    for (const char* variable : SdkVariables) {
        const QString root = sdkRoot(environment, variable);
        if (isNamedInFull(root))
            candidates << QDir(root).filePath(QStringLiteral("platform-tools/adb"));
    }
    return candidates;
}

PathFolders adbPathFolders(const QProcessEnvironment& environment) {
    return pathFolders(environment.value(QStringLiteral("PATH")));
}

} // namespace

QStringList adbCandidatesBeforePath(const QString& launcherFolder,
                                    const QProcessEnvironment& environment) {
    return bundledCandidates(launcherFolder) + sdkCandidates(environment);
}

QList<IgnoredAdbFolder> ignoredAdbFolders(const QProcessEnvironment& environment) {
    QList<IgnoredAdbFolder> ignored;
    for (const char* variable : SdkVariables) {
        const QString root = sdkRoot(environment, variable);
        if (!root.isEmpty() && !isNamedInFull(root))
            ignored.append({QString::fromLatin1(variable), root});
    }
    for (const QString& folder : adbPathFolders(environment).ignored)
        ignored.append({QStringLiteral("PATH"), folder});
    return ignored;
}

QString findDefaultAdb(const QString& launcherFolder, const QProcessEnvironment& environment) {
    for (const QString& candidate : adbCandidatesBeforePath(launcherFolder, environment)) {
        if (isRunnableFile(candidate))
            return candidate;
    }
    const QStringList searched = adbPathFolders(environment).searched;
    // Given no folder at all, Qt would search the program's own PATH instead.
    if (searched.isEmpty())
        return {};
    return QStandardPaths::findExecutable(QStringLiteral("adb"), searched);
}

QString locateAdb(const std::optional<QString>& chosenPath, const QString& launcherFolder,
                  const QProcessEnvironment& environment) {
    if (chosenPath)
        return *chosenPath;
    return findDefaultAdb(launcherFolder, environment);
}

} // namespace ostrel
