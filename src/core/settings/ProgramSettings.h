#pragma once

#include <QSettings>
#include <QString>

namespace ostrel {

// The per-user store of the program's one setting ("adb") and the window's
// geometry; the platform decides where it lives.
inline QSettings programSettings() {
    return QSettings(QStringLiteral("Ostrel"), QStringLiteral("Ostrel Dravik"));
}

inline const QString AdbSettingKey = QStringLiteral("adb");

} // namespace ostrel
