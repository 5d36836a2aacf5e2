// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/device/TcpPort.h"

#include <QByteArray>
#include <QCoro/QCoroFwd>
#include <QList>
#include <QObject>
#include <QPointer>

#include <chrono>

namespace ostrel {

class RfbGreetingAttempts;

struct RfbGreetingResult {
    bool greeted = false;
    bool cancelled = false;
    QByteArray greeting; // the 12 bytes, when greeted ("RFB 003.008\n")
};

// Tells whether an RFB server answers on 127.0.0.1:PORT, as through an adb
// forward: a forward accepts every connection whatever the phone does and
// just closes it when nothing listens there, so only a greeting read proves
// that a server is behind it. Each wait connects again every
// GreetingRetryInterval until a whole greeting is read or its limit passes,
// and closes without answering, so the server sees a client that left before
// choosing a version.
class RfbGreetingWait : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    ~RfbGreetingWait() override; // cancels what is still waiting

    // Never fails: an answer that is no greeting, a refused or closed
    // connection and silence all count as no greeting until the limit.
    QCoro::Task<RfbGreetingResult> waitForGreeting(TcpPort port, std::chrono::milliseconds limit);
    // Ends every pending wait at once, as cancelled; their flows resume before
    // this returns.
    void cancel();

private:
    QList<QPointer<RfbGreetingAttempts>> waits_;
};

} // namespace ostrel
