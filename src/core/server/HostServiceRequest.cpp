// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/server/HostServiceRequest.h"

#include "core/process/AsyncEvent.h"
#include "core/server/AdbReplyReader.h"
#include "core/server/AdbWireFormat.h"

#include <QCoro/QCoroTask>
#include <QTcpSocket>
#include <QTimer>

#include <optional>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

namespace {

// One connection, one request, one reply; done() is set once, by whichever of
// the reply, the server and the deadline comes first. Deleted later by its
// coroutine, since done() may be set from inside one of the socket's signals.
class HostServiceExchange : public QObject {
public:
    HostServiceExchange(const AdbServerAddress& address, const QByteArray& service,
                        std::chrono::milliseconds limit)
        : address_(address), request_(adbServiceRequest(service)), limit_(limit) {
        socket_.setReadBufferSize(MaxAdbFrameLength + 16);
        deadline_.setSingleShot(true);
        deadline_.setTimerType(Qt::PreciseTimer);
        connect(&deadline_, &QTimer::timeout, this, &HostServiceExchange::onDeadline);
        connect(&socket_, &QTcpSocket::connected, this, &HostServiceExchange::onConnected);
        connect(&socket_, &QTcpSocket::readyRead, this, &HostServiceExchange::readReply);
        connect(&socket_, &QTcpSocket::disconnected, this, &HostServiceExchange::onClosed);
        connect(&socket_, &QTcpSocket::errorOccurred, this, &HostServiceExchange::onError);
    }

    void start() {
        if (!request_) {
            finish({HostServiceReply::Outcome::ProtocolError, {}, u"the request is too long"_s});
            return;
        }
        deadline_.start(limit_);
        socket_.connectToHost(address_.host, address_.port);
    }

    AsyncEvent& done() { return done_; }
    HostServiceReply reply() const { return reply_; }

private:
    void onConnected() {
        connected_ = true;
        socket_.write(*request_);
    }

    void readReply() {
        const QList<QByteArray> frames = reader_.feed(socket_.readAll());
        switch (reader_.status()) {
        case AdbReplyReader::Status::Accepted:
            if (!frames.isEmpty())
                finish({HostServiceReply::Outcome::Ok, frames.first(), {}});
            break;
        case AdbReplyReader::Status::Refused:
            finish({HostServiceReply::Outcome::Failed, {}, reader_.problem()});
            break;
        case AdbReplyReader::Status::Broken:
            finish({HostServiceReply::Outcome::ProtocolError, {}, reader_.problem()});
            break;
        case AdbReplyReader::Status::Pending:
            break;
        }
    }

    void onClosed() {
        readReply();
        if (done_.isSet())
            return;
        reader_.endOfStream();
        const QString problem = reader_.status() == AdbReplyReader::Status::Broken
                                    ? reader_.problem()
                                    : u"the adb server closed the connection before its reply"_s;
        finish({HostServiceReply::Outcome::ProtocolError, {}, problem});
    }

    void onError(QAbstractSocket::SocketError error) {
        if (!connected_) {
            finish({HostServiceReply::Outcome::NoServer, {}, socket_.errorString()});
            return;
        }
        if (error == QAbstractSocket::RemoteHostClosedError)
            onClosed();
        else
            finish({HostServiceReply::Outcome::ProtocolError, {}, socket_.errorString()});
    }

    void onDeadline() {
        finish({HostServiceReply::Outcome::TimedOut,
                {},
                u"the adb server at %1 did not answer within %2 ms"_s.arg(address_.text())
                    .arg(limit_.count())});
    }

    void finish(const HostServiceReply& reply) {
        if (done_.isSet())
            return;
        deadline_.stop();
        socket_.disconnect(this);
        socket_.abort();
        reply_ = reply;
        done_.set();
    }

    AdbServerAddress address_;
    std::optional<QByteArray> request_;
    std::chrono::milliseconds limit_;
    QTcpSocket socket_;
    QTimer deadline_;
    AdbReplyReader reader_;
    bool connected_ = false;
    HostServiceReply reply_;
    AsyncEvent done_;
};

} // namespace

QCoro::Task<HostServiceReply> requestHostService(AdbServerAddress address, QByteArray service,
                                                 std::chrono::milliseconds limit) {
    auto* exchange = new HostServiceExchange(address, service, limit);
    exchange->start();
    co_await exchange->done();
    const HostServiceReply reply = exchange->reply();
    exchange->deleteLater();
    co_return reply;
}

} // namespace ostrel
