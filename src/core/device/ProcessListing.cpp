// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/device/ProcessListing.h"

#include "core/device/ListingLines.h"

namespace ostrel {

namespace {

// ps's first column, the user, is read into a field of this size.
constexpr std::size_t UserColumnScratch = 4096;

} // namespace

ServerProcess readServerProcess(QByteArrayView output, const QString& serverPath) {
    const QByteArray path = serverPath.toUtf8();
    ServerProcess process;
    forEachListingLine(output, [&](const char* line) {
        if (!namesServer(line, path))
            return;
        process.running = true;
        readWordsThenNumber(line, 1, UserColumnScratch, process.pid);
    });
    return process;
}

} // namespace ostrel
