// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>

namespace ostrel {

// Which adb the program runs: the one chosen (stored, or given for this run)
// when there is one, otherwise the first one the search finds, starting in
// the folder of the launcher that was started. The environment is read at
// every question, as the search reads it.
class AdbLookup {
public:
    // `chosen` is asked anew every time; empty: nothing chosen.
    AdbLookup(std::function<QString()> chosen, QString launcherFolder);

    // The adb chosen, unchecked; empty when none is.
    QString chosen() const { return chosen_(); }
    // The adb the next command runs: the chosen one, even when the file has
    // gone since, or else the one found. Empty when there is none.
    QString path() const;
    // The console's words when path() found nothing: every place tried.
    QString notFoundMessage() const;
    // One line naming the folders the search leaves out for being relative,
    // said once as the program starts; empty when it leaves none out, or when
    // an adb is chosen and nothing is searched.
    QString searchNote() const;

private:
    std::function<QString()> chosen_;
    QString launcherFolder_;
};

} // namespace ostrel
