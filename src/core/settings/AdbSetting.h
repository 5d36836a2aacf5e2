#pragma once

#include <QString>

namespace ostrel {

// The adb the program runs: the user's choice when there is one, otherwise the
// first one found. Empty when there is none.
QString getAdbPath();

// The user's stored choice, as stored; empty when there is none.
QString chosenAdbSetting();

// The console's words when getAdbPath() found nothing: every place tried.
QString adbNotFoundMessage();

// Keeps `path` as the user's choice. Returns why it could not be stored, or an
// empty string.
QString storeChosenAdb(const QString& path);

} // namespace ostrel
