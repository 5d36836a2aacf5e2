// SPDX-License-Identifier: GPL-3.0-or-later
// What adb's server sends on its socket: a reply (OKAY and frames, or FAIL
// and a message) and the device-tracking stream, fed in pieces whose size the
// first byte chooses; the payloads of the forward list and the long device
// listing, the frame lengths and the greeting a VNC server sends first, read
// from the same bytes.
#include "FuzzTarget.h"

#include "core/server/AdbReplyReader.h"
#include "core/server/AdbWireFormat.h"
#include "core/server/DeviceTrackReader.h"
#include "core/server/ForwardList.h"
#include "core/server/LongListingModel.h"
#include "core/server/RfbGreeting.h"

#include <QByteArray>

#include <algorithm>

namespace {

// However the stream is cut, it reads the same.
void checkTracking(QByteArrayView stream, qsizetype pieceSize) {
    ostrel::DeviceTrackReader whole;
    const QList<QList<ostrel::ListedDevice>> expected = whole.feed(stream);
    ostrel::DeviceTrackReader inPieces;
    QList<QList<ostrel::ListedDevice>> found;
    for (qsizetype at = 0; at < stream.size(); at += pieceSize)
        found += inPieces.feed(stream.sliced(at, std::min(pieceSize, stream.size() - at)));
    OSTREL_FUZZ_CHECK(found == expected);
    OSTREL_FUZZ_CHECK(inPieces.status() == whole.status());
    whole.endOfStream();
    OSTREL_FUZZ_CHECK(whole.status() != ostrel::DeviceTrackReader::Status::Pending);
}

// However the reply is cut, it gives the same frames and the same verdict; no
// frame outgrows what four hex digits say; after a refusal or a broken reply
// nothing more is read.
void checkReply(QByteArrayView stream, qsizetype pieceSize) {
    using Status = ostrel::AdbReplyReader::Status;
    ostrel::AdbReplyReader whole;
    const QList<QByteArray> expected = whole.feed(stream);
    ostrel::AdbReplyReader inPieces;
    QList<QByteArray> found;
    for (qsizetype at = 0; at < stream.size(); at += pieceSize)
        found += inPieces.feed(stream.sliced(at, std::min(pieceSize, stream.size() - at)));
    OSTREL_FUZZ_CHECK(found == expected);
    OSTREL_FUZZ_CHECK(inPieces.status() == whole.status());
    OSTREL_FUZZ_CHECK(inPieces.problem() == whole.problem());
    for (const QByteArray& frame : expected)
        OSTREL_FUZZ_CHECK(frame.size() <= ostrel::MaxAdbFrameLength);
    // Frames follow an OKAY only, though the stream may break after them.
    OSTREL_FUZZ_CHECK(expected.isEmpty() || whole.status() == Status::Accepted ||
                      whole.status() == Status::Broken);
    OSTREL_FUZZ_CHECK(whole.status() != Status::Broken || !whole.problem().isEmpty());
    if (whole.status() == Status::Refused || whole.status() == Status::Broken) {
        const Status ended = whole.status();
        OSTREL_FUZZ_CHECK(whole.feed("OKAY0004abcd").isEmpty());
        OSTREL_FUZZ_CHECK(whole.status() == ended);
    }
    whole.endOfStream();
    OSTREL_FUZZ_CHECK(whole.status() != Status::Pending);
}

// A request is framed so that the server reads back exactly the service.
void checkFraming(QByteArrayView bytes) {
    if (bytes.size() >= 4) {
        const std::optional<int> length = ostrel::adbFrameLength(bytes.first(4));
        OSTREL_FUZZ_CHECK(!length || (*length >= 0 && *length <= ostrel::MaxAdbFrameLength));
    }
    if (const std::optional<QByteArray> request = ostrel::adbServiceRequest(bytes)) {
        OSTREL_FUZZ_CHECK(request->size() == bytes.size() + 4);
        OSTREL_FUZZ_CHECK(ostrel::adbFrameLength(request->first(4)) == bytes.size());
        OSTREL_FUZZ_CHECK(request->sliced(4) == bytes);
    }
}

void checkGreeting(QByteArrayView bytes) {
    if (!ostrel::isRfbGreeting(bytes))
        return;
    OSTREL_FUZZ_CHECK(bytes.size() == ostrel::RfbGreetingSize);
    OSTREL_FUZZ_CHECK(bytes.startsWith("RFB ") && bytes.at(7) == '.' && bytes.at(11) == '\n');
}

void checkForwards(QByteArrayView payload) {
    for (const ostrel::ListedForward& forward : ostrel::parseForwardList(payload)) {
        OSTREL_FUZZ_CHECK(forward.localPort.number() >= ostrel::TcpPort::Lowest);
        OSTREL_FUZZ_CHECK(!forward.serial.isEmpty() && !forward.remote.isEmpty());
        OSTREL_FUZZ_CHECK(!forward.serial.contains(u'\n') && !forward.remote.contains(u'\n'));
        OSTREL_FUZZ_CHECK(!forward.remote.contains(u' '));
    }
}

void checkModels(QByteArrayView listing) {
    // Every serial that begins a line is asked, as the watch would.
    for (const QByteArray& line : listing.toByteArray().split('\n')) {
        const qsizetype space = line.indexOf(' ');
        if (space <= 0)
            continue;
        const std::optional<QString> model =
            ostrel::modelFromLongListing(listing, QString::fromUtf8(line.first(space)));
        OSTREL_FUZZ_CHECK(!model ||
                          (!model->isEmpty() && !model->contains(u'_') && !model->contains(u'\n')));
    }
}

} // namespace

OSTREL_FUZZ_TARGET(adb_server) {
    if (size == 0)
        return 0;
    const QByteArrayView bytes(reinterpret_cast<const char*>(data + 1),
                               static_cast<qsizetype>(size - 1));
    const qsizetype pieceSize = qsizetype{data[0] % 16} + 1;
    checkReply(bytes, pieceSize);
    checkTracking(bytes, pieceSize);
    checkFraming(bytes);
    checkForwards(bytes);
    checkModels(bytes);
    checkGreeting(bytes);
    if (bytes.size() >= ostrel::RfbGreetingSize)
        checkGreeting(bytes.first(ostrel::RfbGreetingSize));
    return 0;
}
