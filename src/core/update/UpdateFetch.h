// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/update/UpdateReply.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class QObject;

namespace ostrel {

// How one request ended.
struct FetchedUpdate {
    std::optional<QByteArray> body;              // the whole reply; empty when none arrived
    UpdateFailure failure = UpdateFailure::None; // why no whole reply arrived
    QString networkError;                        // the same in Qt's words
};

using UpdateBodyHandler = std::function<void(const FetchedUpdate& fetched)>;

// One GET of `endpoint`, with no headers of our own. `done` runs once, when the
// request has ended, unless `context` is destroyed first. The whole exchange,
// not just each silence, is bounded by `timeout`. No more than about
// MaxUpdateReplyBytes is ever held, whatever the program is busy with, and the
// request is aborted as soon as the body passes it. Returns the reply, to
// abort it.
QNetworkReply* fetchUpdateReply(QNetworkAccessManager& network, const QUrl& endpoint,
                                std::chrono::milliseconds timeout, QObject* context,
                                UpdateBodyHandler done);

} // namespace ostrel
