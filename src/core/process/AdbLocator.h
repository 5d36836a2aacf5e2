// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QProcessEnvironment>
#include <QString>

#include <optional>

namespace ostrel {

// Where adb is looked for when the user has chosen none: beside the program
// (inside the bundle on macOS), then in the Android SDK the environment names,
// then on PATH, the last two only in folders named in full. Returns an empty
// string when none of them has one.
QString findDefaultAdb(const QString& launcherFolder, const QProcessEnvironment& environment);

// The files findDefaultAdb looks at before it searches PATH, in order.
QStringList adbCandidatesBeforePath(const QString& launcherFolder,
                                    const QProcessEnvironment& environment);

// A folder the environment names that the search leaves out for being
// relative: the variable (ANDROID_HOME, ANDROID_SDK_ROOT or PATH) and the
// folder as it stands there.
struct IgnoredAdbFolder {
    QString variable;
    QString folder;
};
// In the order the search would have looked in them.
QList<IgnoredAdbFolder> ignoredAdbFolders(const QProcessEnvironment& environment);

// The user's choice wins, unchecked, even when the file has gone since.
QString locateAdb(const std::optional<QString>& chosenPath, const QString& launcherFolder,
                  const QProcessEnvironment& environment);

} // namespace ostrel
