// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/device/DeviceListing.h"
#include "core/server/AdbReplyReader.h"

#include <QByteArrayView>
#include <QList>

namespace ostrel {

// Reads the answer to "host:track-devices": OKAY (or FAIL and a message), then
// one frame each time the server's device list changes, the first at once.
// Each frame is the whole list in the short form, "SERIAL<TAB>STATE" lines;
// "0000" is an empty list. Feed it the connection's bytes, split anyhow.
class DeviceTrackReader {
public:
    using Status = AdbReplyReader::Status;

    // Every listing the bytes completed, oldest first; the last is the
    // server's current list.
    QList<QList<ListedDevice>> feed(QByteArrayView bytes);
    // The server closed the connection; inside a frame, that is a protocol error.
    void endOfStream() { reply_.endOfStream(); }

    Status status() const { return reply_.status(); }
    // The server's refusal or what broke the protocol.
    QString problem() const { return reply_.problem(); }

private:
    AdbReplyReader reply_;
};

} // namespace ostrel
