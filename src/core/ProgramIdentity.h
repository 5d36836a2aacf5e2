// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace ostrel {

// Who this program is, to the platform: where its settings live, what its
// windows and messages are called, and its version. The window and the
// command line share it, so that both read the same settings.
inline const QString OrganizationName = QStringLiteral("Ostrel");
inline const QString ProgramName = QStringLiteral("Ostrel Dravik");
inline const QString DesktopFileName = QStringLiteral("ostrel-dravik");
// As --version and the About box name it: the SPDX identifier, which the
// package's copyright file and the desktop metadata use as well.
inline const QString LicenceLine = QStringLiteral("Licence: GPL-3.0-or-later");

// Gives the running application its identity.
void applyProgramIdentity();

} // namespace ostrel
