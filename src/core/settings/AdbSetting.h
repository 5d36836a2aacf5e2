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

// One line naming the folders the search for adb leaves out for being
// relative, said once as the program starts; empty when it leaves none out,
// or when an adb is chosen and nothing is searched.
QString adbSearchNote();

// Keeps `path` as the user's choice. Returns why it could not be stored, or an
// empty string.
QString storeChosenAdb(const QString& path);

} // namespace ostrel
