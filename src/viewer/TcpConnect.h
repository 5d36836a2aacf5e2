// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

// How a connection attempt ended.
struct TcpConnectResult {
    enum class Outcome { Connected, Refused, NoAnswer, Interrupted };
    Outcome outcome = Outcome::NoAnswer;
    int socket = -1; // a blocking socket, set when Connected
};

// Connects to host:port within timeoutMs. Each time wakeFd turns readable it
// is drained and stopRequested() asked: a window closed mid-connect must not
// wait out the timeout.
TcpConnectResult connectTcp(const QString& host, quint16 port, int timeoutMs, int wakeFd,
                            const std::function<bool()>& stopRequested);
