// SPDX-License-Identifier: GPL-3.0-or-later
// adb's standard output as each parser reads it, and as the listings cut it
// into lines: arbitrary bytes, read whole by the parser the first byte picks.
// Nothing may be read or written out of bounds, lines cut from pieces must be
// the lines cut from the whole, and each parser keeps its header's promise.
//
// The first byte picks the parser: adb version, device listing, process
// listing, file listing, line assembly alone, forward list. The second says
// whether the server's path is known, how adb ended and the piece size; the
// rest is the output.
#include "FuzzTarget.h"

#include "core/device/DeviceListing.h"
#include "core/device/FileListing.h"
#include "core/device/ListingLines.h"
#include "core/device/ProcessListing.h"
#include "core/process/AdbRun.h"
#include "core/process/AdbVersion.h"
#include "core/process/OutputLineBuffer.h"
#include "core/server/ForwardList.h"

#include <QByteArray>
#include <QList>

#include <cstring>
#include <string_view>

namespace {

const QString ServerPath = QStringLiteral("/data/data/com.ostrel.vncserver/files/ostrelvncserver");

// Lines as the runner's line assembly cuts output that comes in pieces.
QList<QByteArray> linesInPieces(std::string_view output, std::size_t pieceSize) {
    ostrel::OutputLineBuffer buffer;
    QList<QByteArray> lines;
    const auto keep = [&](char* line) {
        OSTREL_FUZZ_CHECK(std::strlen(line) <= ostrel::OutputLineBuffer::Capacity);
        lines << QByteArray(line);
    };
    while (!output.empty()) {
        const std::string_view piece = output.substr(0, pieceSize);
        output.remove_prefix(piece.size());
        buffer.assemble(piece, keep);
    }
    buffer.flush(keep);
    OSTREL_FUZZ_CHECK(buffer.outputLineFill() == 0);
    return lines;
}

void checkLineCutting(const QByteArray& output, std::size_t pieceSize) {
    QList<QByteArray> whole;
    ostrel::forEachListingLine(output, [&](const char* line) { whole << QByteArray(line); });
    const std::string_view text(output.constData(), static_cast<std::size_t>(output.size()));
    // Pieces may cut an overlong line elsewhere; lines that fit are the same.
    if (output.size() < ostrel::OutputLineBuffer::Capacity)
        OSTREL_FUZZ_CHECK(linesInPieces(text, pieceSize) == whole);
}

ostrel::AdbRun finishedRun(const QByteArray& output, int exitCode) {
    ostrel::AdbRun run;
    run.status = ostrel::AdbRun::Status::Finished;
    run.exitCode = exitCode;
    run.standardOutput = output;
    return run;
}

void readWith(uint8_t parser, const QByteArray& output, const QString& path, int exitCode) {
    switch (parser % 6) {
    case 0: {
        const ostrel::AdbVersionAnswer answer =
            ostrel::adbVersionAnswer(finishedRun(output, exitCode));
        OSTREL_FUZZ_CHECK(!answer.known || (exitCode == 0 && !answer.text.isEmpty()));
        break;
    }
    case 1:
        for (const ostrel::ListedDevice& device : ostrel::parseDeviceListing(output))
            OSTREL_FUZZ_CHECK(!device.serial.isEmpty() && !device.serial.contains(u'\t'));
        break;
    case 2: {
        const ostrel::ServerProcess process = ostrel::readServerProcess(output, path);
        OSTREL_FUZZ_CHECK(process.running || process.pid == 0);
        break;
    }
    case 3: {
        const ostrel::ServerFileListing file =
            ostrel::readServerFileListing(finishedRun(output, exitCode), path);
        OSTREL_FUZZ_CHECK(file.kind == ostrel::ServerFileListing::Kind::Found || file.size == 0);
        OSTREL_FUZZ_CHECK((file.kind == ostrel::ServerFileListing::Kind::Refused) ==
                          !file.refusal.isEmpty());
        break;
    }
    case 5:
        for (const ostrel::ListedForward& forward : ostrel::parseForwardList(output))
            OSTREL_FUZZ_CHECK(forward.localPort.number() != 0);
        break;
    default:
        break;
    }
}

} // namespace

OSTREL_FUZZ_TARGET(adb_output) {
    if (size < 2)
        return 0;
    const QByteArray output(reinterpret_cast<const char*>(data + 2),
                            static_cast<qsizetype>(size - 2));
    const QString path = (data[1] & 1) != 0 ? ServerPath : QString();
    const int exitCode = (data[1] & 2) != 0 ? 0 : 1;
    checkLineCutting(output, 1 + data[1] % 64u * 97u);
    readWith(data[0], output, path, exitCode);
    return 0;
}
