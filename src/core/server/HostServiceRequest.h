// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/server/AdbServerAddress.h"

#include <QByteArray>
#include <QCoro/QCoroFwd>
#include <QString>

#include <chrono>

namespace ostrel {

// How one request to adb's server ended.
struct HostServiceReply {
    enum class Outcome {
        Ok,            // OKAY and the whole payload
        NoServer,      // nothing accepted the connection: no server runs there
        Failed,        // FAIL: the server's message is in `message`
        TimedOut,      // no whole reply within the limit
        ProtocolError, // the server closed early or sent what adb never sends
    };

    Outcome outcome = Outcome::NoServer;
    QByteArray payload; // Ok: the payload as sent
    // Failed: the server's words; other failures: why, in words. Outside text
    // either way: shown through visibleText().
    QString message;
};

// Asks adb's server at `address` for a host service that answers with one
// payload ("host:list-forward", "host:devices-l", "host:version") on a
// connection of its own, closed when the reply is read. The whole exchange,
// connecting included, ends within `limit` (a precise timer). It only ever
// connects, so it never starts a server: with none running the outcome is
// NoServer. Runs to its end on its own even if the task is dropped; every
// byte from the server is bounded by the framing (at most 64 KiB).
QCoro::Task<HostServiceReply> requestHostService(AdbServerAddress address, QByteArray service,
                                                 std::chrono::milliseconds limit);

} // namespace ostrel
