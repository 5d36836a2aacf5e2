// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/server/RfbGreetingWait.h"

#include "core/Waits.h"
#include "core/process/AsyncEvent.h"
#include "core/server/RfbGreeting.h"

#include <QCoro/QCoroTask>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace ostrel {

// The attempts of one wait; done() is set once, by a greeting, the limit or a
// cancel. Deleted later by its coroutine, since done() may be set from inside
// one of the socket's signals.
class RfbGreetingAttempts : public QObject {
public:
    RfbGreetingAttempts(TcpPort port, std::chrono::milliseconds limit)
        : port_(port), limit_(limit) {
        for (QTimer* timer : {&deadline_, &retry_}) {
            timer->setSingleShot(true);
            timer->setTimerType(Qt::PreciseTimer);
        }
        connect(&deadline_, &QTimer::timeout, this, [this] { finish({}); });
        connect(&retry_, &QTimer::timeout, this, &RfbGreetingAttempts::attempt);
        connect(&socket_, &QTcpSocket::readyRead, this, &RfbGreetingAttempts::readGreeting);
        connect(&socket_, &QTcpSocket::disconnected, this, &RfbGreetingAttempts::onClosed);
        connect(&socket_, &QTcpSocket::errorOccurred, this, &RfbGreetingAttempts::onClosed);
    }

    void start() {
        deadline_.start(limit_);
        attempt();
    }
    void cancel() { finish({false, true, {}}); }
    AsyncEvent& done() { return done_; }
    RfbGreetingResult result() const { return result_; }

private:
    void attempt() {
        received_.clear();
        attemptClock_.start();
        attempting_ = true;
        socket_.connectToHost(QHostAddress(QHostAddress::LocalHost), port_.number());
    }

    void readGreeting() {
        received_ += socket_.read(RfbGreetingSize - received_.size());
        if (received_.size() < RfbGreetingSize)
            return;
        if (isRfbGreeting(received_))
            finish({true, false, received_});
        else
            attemptFailed();
    }

    // A server may greet and close at once: what it sent still counts, even
    // when the close is reported first.
    void onClosed() {
        if (attempting_ && socket_.bytesAvailable() > 0)
            readGreeting();
        attemptFailed();
    }

    void attemptFailed() {
        if (!attempting_)
            return;
        attempting_ = false; // before abort(), which reports the close again
        socket_.abort();
        const auto elapsed = std::chrono::milliseconds(attemptClock_.elapsed());
        retry_.start(std::max(std::chrono::milliseconds(0), GreetingRetryInterval - elapsed));
    }

    void finish(const RfbGreetingResult& result) {
        if (done_.isSet())
            return;
        attempting_ = false;
        deadline_.stop();
        retry_.stop();
        socket_.disconnect(this);
        socket_.abort();
        result_ = result;
        done_.set();
    }

    TcpPort port_;
    std::chrono::milliseconds limit_;
    QTcpSocket socket_;
    QTimer deadline_;
    QTimer retry_;
    QElapsedTimer attemptClock_;
    QByteArray received_;
    bool attempting_ = false;
    RfbGreetingResult result_;
    AsyncEvent done_;
};

RfbGreetingWait::~RfbGreetingWait() {
    cancel();
}

QCoro::Task<RfbGreetingResult> RfbGreetingWait::waitForGreeting(TcpPort port,
                                                                std::chrono::milliseconds limit) {
    QPointer<RfbGreetingAttempts> attempts = new RfbGreetingAttempts(port, limit);
    waits_.append(attempts);
    attempts->start();
    co_await attempts->done();
    const RfbGreetingResult result = attempts->result();
    waits_.removeAll(attempts);
    attempts->deleteLater();
    co_return result;
}

void RfbGreetingWait::cancel() {
    // Each cancelled wait resumes its flow, which takes it off the list.
    const QList<QPointer<RfbGreetingAttempts>> pending = waits_;
    for (const QPointer<RfbGreetingAttempts>& attempts : pending) {
        if (attempts)
            attempts->cancel();
    }
}

} // namespace ostrel
