// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#ifndef Q_MOC_RUN // moc cannot read the standard coroutine headers
#include "core/process/AsyncEvent.h"
#endif
#include "core/update/UpdateReply.h"

#include <QCoro/QCoroFwd>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <chrono>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

namespace ostrel {

struct FetchedUpdate;

// Asks the maker's site for the latest version. A check asked for while one is
// under way joins it instead of asking again.
class UpdateChecker : public QObject {
    Q_OBJECT

public:
    UpdateChecker(QUrl endpoint, QString ownVersion, std::chrono::milliseconds timeout,
                  QObject* parent = nullptr);
    ~UpdateChecker() override;

    QCoro::Task<UpdateVerdict> check();
    bool isChecking() const { return pending_ != nullptr; }
    // Ends the check under way; whoever waits for it gets a cancelled verdict.
    void cancel();

private:
    struct Pending {
        AsyncEvent done;
        UpdateVerdict verdict;
        QPointer<QNetworkReply> reply;
        bool cancelled = false;
    };
    void start();
    UpdateVerdict judge(const FetchedUpdate& fetched) const;

    QUrl endpoint_;
    QString ownVersion_;
    std::chrono::milliseconds timeout_;
    // Made on first use, so that nothing of the network stack runs before then.
    std::unique_ptr<QNetworkAccessManager> network_;
    std::shared_ptr<Pending> pending_;
};

} // namespace ostrel
