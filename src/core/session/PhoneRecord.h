// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>

namespace ostrel {

// What the program has learned about one phone's server, kept per serial so
// that nothing known of one phone is ever used on another.
struct PhoneRecord {
    QString serverPath;    // empty until a listing has shown the executable
    QString serverPackage; // the package it was found under
    int32_t serverFileSize = 0;
    bool serverUnsupported = false;
    bool serverRunning = false; // as the last process listing said
    int32_t serverPid = 0;
};

} // namespace ostrel
