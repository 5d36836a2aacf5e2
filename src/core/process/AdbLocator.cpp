#include "core/process/AdbLocator.h"

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

QStringList bundledCandidates(const QString& applicationDirPath) {
    const QDir dir(applicationDirPath);
#ifdef Q_OS_MACOS
    return {QDir::cleanPath(dir.filePath(QStringLiteral("../Resources/adb"))), dir.filePath("adb")};
#else
    return {dir.filePath(QStringLiteral("adb"))};
#endif
}

QStringList sdkCandidates(const QProcessEnvironment& environment) {
    QStringList candidates;
    for (const char* variable : {"ANDROID_HOME", "ANDROID_SDK_ROOT"}) {
        const QString root = environment.value(QString::fromLatin1(variable));
        if (!root.isEmpty())
            candidates << QDir(root).filePath(QStringLiteral("platform-tools/adb"));
    }
    return candidates;
}

} // namespace

QStringList adbCandidatesBeforePath(const QString& applicationDirPath,
                                    const QProcessEnvironment& environment) {
    return bundledCandidates(applicationDirPath) + sdkCandidates(environment);
}

QString findDefaultAdb(const QString& applicationDirPath, const QProcessEnvironment& environment) {
    for (const QString& candidate : adbCandidatesBeforePath(applicationDirPath, environment)) {
        if (isRunnableFile(candidate))
            return candidate;
    }
    const QStringList searchPath =
        environment.value(QStringLiteral("PATH")).split(QDir::listSeparator(), Qt::SkipEmptyParts);
    return QStandardPaths::findExecutable(QStringLiteral("adb"), searchPath);
}

QString locateAdb(const std::optional<QString>& chosenPath, const QString& applicationDirPath,
                  const QProcessEnvironment& environment) {
    if (chosenPath)
        return *chosenPath;
    return findDefaultAdb(applicationDirPath, environment);
}

} // namespace ostrel
