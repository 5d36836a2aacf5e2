// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcessEnvironment>
#include <QString>

#include <cstdint>
#include <optional>

namespace ostrel {

// Where adb's server listens, read from the environment the way adb's own
// client reads it, so that the program talks to the very server its `adb`
// commands start and use.
struct AdbServerAddress {
    // A name or a literal address (IPv6 without brackets).
    QString host = QStringLiteral("127.0.0.1");
    uint16_t port = 5037;

    // ADB_SERVER_SOCKET wins when set: "tcp:PORT" (on 127.0.0.1) or
    // "tcp:HOST:PORT" ("tcp:[::1]:PORT" for IPv6). Otherwise
    // ANDROID_ADB_SERVER_ADDRESS (default 127.0.0.1) and ANDROID_ADB_SERVER_PORT
    // (1 to 65535, default 5037); an empty variable counts as unset. Nothing
    // when the environment names a server this program cannot reach over TCP
    // (another socket kind such as "localabstract:", a port that is no port,
    // parts missing): adb itself would not use such an address as given, and
    // guessing another could watch the wrong server.
    static std::optional<AdbServerAddress> fromEnvironment(const QProcessEnvironment& environment);

    // "HOST:PORT" ("[HOST]:PORT" for IPv6), for messages.
    QString text() const;

    friend bool operator==(const AdbServerAddress&, const AdbServerAddress&) = default;
};

} // namespace ostrel
