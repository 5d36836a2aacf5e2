// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/server/DeviceTrackReader.h"

namespace ostrel {

QList<QList<ListedDevice>> DeviceTrackReader::feed(QByteArrayView bytes) {
    QList<QList<ListedDevice>> listings;
    for (const QByteArray& frame : reply_.feed(bytes))
        listings.append(parseDeviceListing(frame));
    return listings;
}

} // namespace ostrel
