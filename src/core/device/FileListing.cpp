// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/device/FileListing.h"

#include "core/device/AdbFailure.h"
#include "core/device/ListingLines.h"

#include <cstring>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

namespace {

// ls's mode, links and owner columns are each read into a field of this size.
constexpr std::size_t ColumnScratch = 32;

// The last line decides: one naming the server says it is there, with its
// size from the fifth column; anything else says it is not.
ServerFileListing readFileLines(QByteArrayView output, const QString& path) {
    const QByteArray serverPath = path.toUtf8();
    bool found = false;
    int32_t size = 0;
    forEachListingLine(output, [&](const char* line) {
        if (std::strstr(line, "No such file") != nullptr) {
            found = false;
        } else if (namesServer(line, serverPath)) {
            readWordsThenNumber(line, 3, ColumnScratch, size);
            found = true;
        } else {
            size = 0;
            found = false;
        }
    });
    ServerFileListing listing;
    listing.kind = found ? ServerFileListing::Kind::Found : ServerFileListing::Kind::Missing;
    listing.size = found ? size : 0;
    return listing;
}

} // namespace

// ls says why it could not list a path as "ls: PATH: REASON", on standard error,
// or mixed into standard output on phones without shell_v2.
QString listingRefusal(const AdbRun& run) {
    const QByteArray missing = "No such file or directory";
    if (run.exitCode != 0 && !run.standardError.contains(missing)) {
        const QString text = standardErrorForConsole(run);
        return text.isEmpty() ? u"ls failed with exit status %1.\r\n"_s.arg(run.exitCode) : text;
    }
    QString refusal;
    const QList<QByteArray> lines = run.standardOutput.split('\n');
    for (const QByteArray& line : lines) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.startsWith("ls:") && !trimmed.contains(missing))
            refusal += QString::fromUtf8(trimmed) + u"\r\n"_s;
    }
    return refusal;
}

ServerFileListing readServerFileListing(const AdbRun& run, const QString& path) {
    ServerFileListing listing;
    listing.refusal = listingRefusal(run);
    if (!listing.refusal.isEmpty()) {
        listing.kind = ServerFileListing::Kind::Refused;
        return listing;
    }
    return readFileLines(run.standardOutput, path);
}

} // namespace ostrel
