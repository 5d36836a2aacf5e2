#pragma once

#include <QByteArray>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class QObject;

namespace ostrel {

// Receives the reply's body, or nothing when no whole reply arrived.
using UpdateBodyHandler = std::function<void(const std::optional<QByteArray>& body)>;

// One GET of `endpoint`, with no headers of our own. `done` runs once, when the
// request has ended, unless `context` is destroyed first. The whole exchange,
// not just each silence, is bounded by `timeout`, and reading stops soon after
// the body passes MaxUpdateReplyBytes. Returns the reply, to abort it.
QNetworkReply* fetchUpdateReply(QNetworkAccessManager& network, const QUrl& endpoint,
                                std::chrono::milliseconds timeout, QObject* context,
                                UpdateBodyHandler done);

} // namespace ostrel
