// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/process/AdbRun.h"

#include <QString>

#include <cstdint>

namespace ostrel {

// What `shell ls -l PATH` says of the server executable.
struct ServerFileListing {
    enum class Kind { Found, Missing, Refused };
    Kind kind = Kind::Missing;
    int32_t size = 0;
    QString refusal; // Refused: what ls said, as console lines
};

// Reads a finished file listing of `path`. Only "No such file" means the app
// is not there; any other complaint of ls is a refusal, whose words are kept.
ServerFileListing readServerFileListing(const AdbRun& run, const QString& path);

// ls's complaints other than a missing file, as console lines; empty when none.
QString listingRefusal(const AdbRun& run);

} // namespace ostrel
