// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/server/AdbServerAddress.h"
#include "core/server/ForwardList.h"

#include <QByteArray>
#include <QCoro/QCoroFwd>
#include <QList>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

namespace ostrel {

// What adb's server said when asked for its forwards.
struct ForwardListRead {
    enum class Outcome {
        Read,      // the list, possibly empty
        NoAddress, // the environment names no server this program can reach
        NoServer,  // nothing accepts connections there: no server runs
        Failed,    // refused, broken or no answer in time; `message` says which
        Cancelled,
    };

    Outcome outcome = Outcome::NoAddress;
    QByteArray payload;            // Read: every line as sent, other programs' forwards too
    QList<ListedForward> forwards; // Read: the TCP forwards in it
    QString message;               // outside text: shown through visibleText()

    bool read() const { return outcome == Outcome::Read; }
    // The phone a local port leads to; empty when none does or the list is unknown.
    QString serialOn(TcpPort localPort) const;
    // The local ports that lead to `serial`, in the server's order.
    QList<TcpPort> portsOf(const QString& serial) const;
};

// Reads adb's forward list over the server's own socket, never through an
// adb process, so that reading it starts no server. A read can be cancelled:
// its flow then resumes at once, and the request ends by itself within its
// limit.
class ForwardListReader : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    ~ForwardListReader() override; // cancels what is still waiting

    QCoro::Task<ForwardListRead> read(std::optional<AdbServerAddress> address,
                                      std::chrono::milliseconds limit);
    void cancel();

    struct Pending;

private:
    QList<std::shared_ptr<Pending>> pending_;
};

} // namespace ostrel
