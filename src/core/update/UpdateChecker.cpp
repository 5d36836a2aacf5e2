// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/update/UpdateChecker.h"
#include <QCoro/QCoroTask>

#include "core/update/UpdateFetch.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace ostrel {

UpdateChecker::UpdateChecker(QUrl endpoint, QString ownVersion, std::chrono::milliseconds timeout,
                             QObject* parent)
    : QObject(parent), endpoint_(std::move(endpoint)), ownVersion_(std::move(ownVersion)),
      timeout_(timeout) {}

UpdateChecker::~UpdateChecker() {
    cancel();
}

QCoro::Task<UpdateVerdict> UpdateChecker::check() {
    if (!pending_)
        start();
    // Each waiter keeps the check it joined, even once a new one has begun.
    const std::shared_ptr<Pending> pending = pending_;
    co_await pending->done;
    // QCoro moves what co_return names: a copy keeps the verdict for the other waiters.
    UpdateVerdict verdict = pending->verdict;
    co_return verdict;
}

void UpdateChecker::start() {
    if (!network_)
        network_ = std::make_unique<QNetworkAccessManager>();
    auto pending = std::make_shared<Pending>();
    pending_ = pending;
    pending->reply = fetchUpdateReply(*network_, endpoint_, timeout_, this,
                                      [this, pending](const FetchedUpdate& fetched) {
                                          pending->verdict = judge(fetched);
                                          pending->verdict.cancelled = pending->cancelled;
                                          if (pending_ == pending)
                                              pending_.reset();
                                          pending->done.set();
                                      });
}

UpdateVerdict UpdateChecker::judge(const FetchedUpdate& fetched) const {
    if (fetched.body)
        return judgeUpdateReply(*fetched.body, ownVersion_);
    return unansweredVerdict(fetched.failure, fetched.networkError, timeout_);
}

void UpdateChecker::cancel() {
    const std::shared_ptr<Pending> pending = pending_;
    if (!pending)
        return;
    pending->cancelled = true;
    // Aborting reports the end at once, which resumes every waiter.
    if (pending->reply && pending->reply->isRunning())
        pending->reply->abort();
    if (!pending->done.isSet()) {
        pending->verdict.cancelled = true;
        if (pending_ == pending)
            pending_.reset();
        pending->done.set();
    }
}

} // namespace ostrel
