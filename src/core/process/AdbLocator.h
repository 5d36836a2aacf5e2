#pragma once

#include <QProcessEnvironment>
#include <QString>

#include <optional>

namespace ostrel {

// Where adb is looked for when the user has chosen none: beside the program
// (inside the bundle on macOS), then in the Android SDK the environment names,
// then on PATH. Returns an empty string when none of them has one.
QString findDefaultAdb(const QString& applicationDirPath, const QProcessEnvironment& environment);

// The files findDefaultAdb looks at before it searches PATH, in order.
QStringList adbCandidatesBeforePath(const QString& applicationDirPath,
                                    const QProcessEnvironment& environment);

// The user's choice wins, unchecked, even when the file has gone since.
QString locateAdb(const std::optional<QString>& chosenPath, const QString& applicationDirPath,
                  const QProcessEnvironment& environment);

} // namespace ostrel
