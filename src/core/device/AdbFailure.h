// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/process/AdbRun.h"

#include <QProcessEnvironment>
#include <QString>

namespace ostrel {

// adb itself could not reach the device (it was unplugged, went offline, or
// another device took its place): adb failed and one line of its standard
// error begins with "error:", or is one of the device complaints that commands
// like forward begin with "adb: error:". A shell command that failed on the device is not
// such a failure, whatever its exit status.
bool deviceIsGone(const AdbRun& run);

// adb's standard error as console text: plain, trimmed, ending in "\r\n";
// empty when adb wrote nothing there.
QString standardErrorForConsole(const AdbRun& run);

// The line that follows adb's words when adb could not answer for its server:
// the adb that ran, and the server address `environment` gives it (adb's
// children inherit ours), read as adb reads it; when it names no server, the
// variables as they are. Outside text shows as visibleText() makes it.
QString adbSetupToCheck(const QString& adbPath, const QProcessEnvironment& environment);

} // namespace ostrel
