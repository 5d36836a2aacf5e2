// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/RfbLogRoute.h"

#include <QLoggingCategory>

#include <rfb/rfbclient.h>

#include <cstdarg>
#include <cstdio>

namespace {

Q_LOGGING_CATEGORY(rfbLibrary, "ostrel.viewer.library", QtWarningMsg)

void logLibraryLine(const char* format, ...) {
    char line[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    qCDebug(rfbLibrary, "%s", line);
}

} // namespace

void routeRfbLibraryLog() {
    rfbClientLog = logLibraryLine;
    rfbClientErr = logLibraryLine;
}
