#pragma once

#include <QString>
#include <QStringList>

namespace ostrel {

// Where the program's two executables lie. `ostrel-dravik`, which people and
// scripts start, runs the command line and hands the window over to
// `ostrel-dravik-window`, so that a verb never loads a display's libraries.
// Installed on Linux the window lies in a folder of its own, lib/ostrel-dravik
// beside bin; in the build tree and in the macOS bundle the two lie side by
// side.
inline const QString WindowProgramName = QStringLiteral("ostrel-dravik-window");
inline const QString PrivateProgramFolder = QStringLiteral("lib/ostrel-dravik");

// Where the window program may be, in the order to try, for an
// `ostrel-dravik` in `launcherFolder`.
QStringList windowProgramCandidates(const QString& launcherFolder);

// The folder of the `ostrel-dravik` that was started, as seen from the folder
// of either executable: what "beside the program" means to both.
QString launcherFolder(const QString& applicationDirPath);

} // namespace ostrel
