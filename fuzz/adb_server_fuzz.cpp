// What adb's server sends on its socket: the device-tracking stream, fed in
// pieces whose size the first byte chooses, and the payloads of the forward
// list and the long device listing, read from the same bytes.
#include "FuzzTarget.h"

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

void checkForwards(QByteArrayView payload) {
    for (const ostrel::ListedForward& forward : ostrel::parseForwardList(payload)) {
        OSTREL_FUZZ_CHECK(forward.localPort >= 1);
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
    checkTracking(bytes, qsizetype{data[0] % 16} + 1);
    checkForwards(bytes);
    checkModels(bytes);
    if (bytes.size() >= ostrel::RfbGreetingSize)
        ostrel::isRfbGreeting(bytes.first(ostrel::RfbGreetingSize));
    return 0;
}
