#pragma once

#include "core/ProgramIdentity.h"

#include <QSettings>
#include <QString>

namespace ostrel {

// The per-user store of the program's one setting ("adb") and the window's
// geometry; the platform decides where it lives.
inline QSettings programSettings() {
    return QSettings(OrganizationName, ProgramName);
}

inline const QString AdbSettingKey = QStringLiteral("adb");

} // namespace ostrel
