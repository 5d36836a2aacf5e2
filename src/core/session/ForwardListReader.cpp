// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/session/ForwardListReader.h"

#include "core/process/AsyncEvent.h"
#include "core/server/HostServiceRequest.h"

#include <QCoro/QCoroTask>

namespace ostrel {

namespace {

ForwardListRead fromReply(const HostServiceReply& reply) {
    using Outcome = ForwardListRead::Outcome;
    switch (reply.outcome) {
    case HostServiceReply::Outcome::Ok:
        return {Outcome::Read, reply.payload, parseForwardList(reply.payload), {}};
    case HostServiceReply::Outcome::NoServer:
        return {Outcome::NoServer, {}, {}, reply.message};
    case HostServiceReply::Outcome::Failed:
    case HostServiceReply::Outcome::TimedOut:
    case HostServiceReply::Outcome::ProtocolError:
        break;
    }
    return {Outcome::Failed, {}, {}, reply.message};
}

} // namespace

// One read: set by the server's answer or by a cancel, whichever comes first.
struct ForwardListReader::Pending {
    AsyncEvent done;
    ForwardListRead result;
};

namespace {

// Lives on by itself when its read was cancelled, until the request ends
// within its own limit.
QCoro::Task<void> fetchInto(std::shared_ptr<ForwardListReader::Pending> pending,
                            AdbServerAddress address, std::chrono::milliseconds limit) {
    const HostServiceReply reply = co_await requestHostService(address, "host:list-forward", limit);
    if (pending->done.isSet())
        co_return;
    pending->result = fromReply(reply);
    pending->done.set();
}

} // namespace

QString ForwardListRead::serialOn(TcpPort localPort) const {
    for (const ListedForward& forward : forwards) {
        if (forward.localPort == localPort)
            return forward.serial;
    }
    return {};
}

QList<TcpPort> ForwardListRead::portsOf(const QString& serial) const {
    QList<TcpPort> ports;
    for (const ListedForward& forward : forwards) {
        if (forward.serial == serial)
            ports.append(forward.localPort);
    }
    return ports;
}

ForwardListReader::~ForwardListReader() {
    cancel();
}

QCoro::Task<ForwardListRead> ForwardListReader::read(std::optional<AdbServerAddress> address,
                                                     std::chrono::milliseconds limit) {
    if (!address)
        co_return ForwardListRead{};
    auto pending = std::make_shared<Pending>();
    pending_.append(pending);
    fetchInto(pending, *address, limit);
    co_await pending->done;
    pending_.removeOne(pending);
    co_return pending->result;
}

void ForwardListReader::cancel() {
    // Each cancelled read resumes its flow at once, which takes it off the list.
    const QList<std::shared_ptr<Pending>> pending = pending_;
    for (const std::shared_ptr<Pending>& read : pending) {
        if (read->done.isSet())
            continue;
        read->result = ForwardListRead{ForwardListRead::Outcome::Cancelled, {}, {}, {}};
        read->done.set();
    }
}

} // namespace ostrel
