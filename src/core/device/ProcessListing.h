// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstdint>

namespace ostrel {

// What a phone's process listing (`ps`) says of the server.
struct ServerProcess {
    bool running = false;
    int32_t pid = 0; // of the last line naming the server that has one; 0: none read
};

// Reads the whole output of `shell ps`. A line names the server when it holds
// `serverPath` or the executable's name; its second column is the pid.
ServerProcess readServerProcess(QByteArrayView output, const QString& serverPath);

} // namespace ostrel
