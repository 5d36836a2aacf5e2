// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/server/ForwardList.h"

#include "core/server/TcpPortText.h"

#include <optional>

namespace ostrel {

namespace {

std::optional<TcpPort> localTcpPort(QByteArrayView local) {
    if (!local.startsWith("tcp:"))
        return std::nullopt;
    return tcpPortText(QString::fromLatin1(local.sliced(4)));
}

std::optional<ListedForward> parseForwardLine(QByteArrayView line) {
    if (line.endsWith('\r'))
        line.chop(1);
    const qsizetype beforeRemote = line.lastIndexOf(' ');
    if (beforeRemote <= 0)
        return std::nullopt;
    const qsizetype beforeLocal = line.first(beforeRemote).lastIndexOf(' ');
    if (beforeLocal <= 0)
        return std::nullopt;
    const QByteArrayView remote = line.sliced(beforeRemote + 1);
    const std::optional<TcpPort> port =
        localTcpPort(line.sliced(beforeLocal + 1, beforeRemote - beforeLocal - 1));
    if (remote.isEmpty() || !port)
        return std::nullopt;
    return ListedForward{QString::fromUtf8(line.first(beforeLocal)), *port,
                         QString::fromUtf8(remote)};
}

} // namespace

QList<ListedForward> parseForwardList(QByteArrayView payload) {
    QList<ListedForward> forwards;
    for (const QByteArray& line : payload.toByteArray().split('\n')) {
        if (const std::optional<ListedForward> forward = parseForwardLine(line))
            forwards.append(*forward);
    }
    return forwards;
}

} // namespace ostrel
