// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/server/DeviceWatch.h"

#include "core/server/AdbWireFormat.h"
#include "core/server/HostServiceRequest.h"
#include "core/server/LongListingModel.h"

#include <QCoro/QCoroTask>

#include <algorithm>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

namespace {

QStringList serialsOf(const QList<ListedDevice>& devices) {
    QStringList serials;
    for (const ListedDevice& device : devices)
        serials.append(device.serial);
    return serials;
}

bool listsUsable(const QList<ListedDevice>& devices, const QString& serial) {
    return std::any_of(devices.begin(), devices.end(), [&serial](const ListedDevice& device) {
        return device.serial == serial && device.usable();
    });
}

} // namespace

DeviceWatch::DeviceWatch(const AdbServerAddress& address, QObject* parent)
    : DeviceWatch(address, DeviceWatchTiming{}, parent) {}

DeviceWatch::DeviceWatch(const AdbServerAddress& address, const DeviceWatchTiming& timing,
                         QObject* parent)
    : QObject(parent), address_(address), timing_(timing), settler_(timing.settle) {
    clock_.start();
    // A server cannot make the watch buffer more than a frame or so.
    socket_.setReadBufferSize(MaxAdbFrameLength + 16);
    for (QTimer* timer : {&retryTimer_, &answerTimer_, &settleTimer_}) {
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
    }
    connect(&retryTimer_, &QTimer::timeout, this, &DeviceWatch::connectNow);
    connect(&answerTimer_, &QTimer::timeout, this, &DeviceWatch::onAnswerTimeout);
    connect(&settleTimer_, &QTimer::timeout, this, &DeviceWatch::settleChanges);
    connect(&socket_, &QTcpSocket::connected, this, &DeviceWatch::onConnected);
    connect(&socket_, &QTcpSocket::readyRead, this, &DeviceWatch::onReadyRead);
    connect(&socket_, &QTcpSocket::disconnected, this, &DeviceWatch::onSocketEnded);
    connect(&socket_, &QTcpSocket::errorOccurred, this, &DeviceWatch::onSocketEnded);
}

DeviceWatch::~DeviceWatch() {
    // A socket reports its own end as it is destroyed, after the timers.
    socket_.disconnect(this);
}

void DeviceWatch::start() {
    if (phase_ == Phase::NotStarted)
        connectNow();
}

void DeviceWatch::stop() {
    phase_ = Phase::Stopped;
    for (QTimer* timer : {&retryTimer_, &answerTimer_, &settleTimer_})
        timer->stop();
    socket_.abort();
}

void DeviceWatch::poke() {
    if (phase_ == Phase::Waiting && (!lastAttempt_ || *lastAttempt_ + timing_.retry <= now()))
        connectNow();
}

void DeviceWatch::connectNow() {
    if (phase_ == Phase::Stopped)
        return;
    retryTimer_.stop();
    socket_.abort();
    phase_ = Phase::Connecting;
    reader_ = {};
    lastAttempt_ = now();
    answerTimer_.start(timing_.answerLimit);
    socket_.connectToHost(address_.host, address_.port);
}

// The next attempt starts `retry` after the last one started, or at once
// when that is past; always from the event loop, never inside the socket's
// own signal.
void DeviceWatch::scheduleAttempt() {
    const Time due = lastAttempt_ ? *lastAttempt_ + timing_.retry : now();
    retryTimer_.start(std::max(Time(0), due - now()));
}

void DeviceWatch::onConnected() {
    if (phase_ != Phase::Connecting)
        return;
    phase_ = Phase::AwaitingFirstList;
    socket_.write(*adbServiceRequest("host:track-devices"));
}

void DeviceWatch::onReadyRead() {
    if (phase_ != Phase::AwaitingFirstList && phase_ != Phase::Tracking)
        return;
    const QList<QList<ListedDevice>> listings = reader_.feed(socket_.readAll());
    for (const QList<ListedDevice>& listing : listings) {
        takeListing(listing);
        // Whoever heard of the list may have stopped the watch.
        if (phase_ == Phase::Stopped)
            return;
    }
    if (reader_.status() == DeviceTrackReader::Status::Refused)
        failAttempt(u"the adb server refused to track devices: %1"_s.arg(reader_.problem()), true);
    else if (reader_.status() == DeviceTrackReader::Status::Broken)
        failAttempt(reader_.problem(), true);
}

void DeviceWatch::onSocketEnded() {
    switch (phase_) {
    case Phase::Connecting:
        failAttempt(socket_.errorString(), false);
        break;
    case Phase::AwaitingFirstList:
    case Phase::Tracking:
        if (socket_.bytesAvailable() > 0)
            onReadyRead();
        if (phase_ != Phase::AwaitingFirstList && phase_ != Phase::Tracking)
            break;
        reader_.endOfStream();
        if (phase_ == Phase::Tracking && reader_.status() == DeviceTrackReader::Status::Accepted)
            loseServer(); // it may be back already
        else
            failAttempt(reader_.problem().isEmpty() ? u"the adb server closed the connection"_s
                                                    : reader_.problem(),
                        true);
        break;
    case Phase::NotStarted:
    case Phase::Waiting:
    case Phase::Stopped:
        break;
    }
}

void DeviceWatch::onAnswerTimeout() {
    const qint64 limit = timing_.answerLimit.count();
    if (phase_ == Phase::Connecting)
        failAttempt(u"the connection was not accepted within %1 ms"_s.arg(limit), false);
    else if (phase_ == Phase::AwaitingFirstList)
        failAttempt(u"the adb server sent no device list within %1 ms"_s.arg(limit), true);
}

void DeviceWatch::takeListing(const QList<ListedDevice>& devices) {
    if (phase_ == Phase::Tracking) {
        settler_.takeListing(devices, now());
        scheduleSettling();
        // A server that never pauses can keep the event loop from ever
        // reaching the timer: what is due shows from here instead.
        if (settleDue_ && *settleDue_ <= now())
            settleChanges();
        return;
    }
    // A first list is the truth at once; after a reconnection it shows
    // nothing new unless the phones changed meanwhile.
    phase_ = Phase::Tracking;
    answerTimer_.stop();
    lostSince_.reset();
    settleTimer_.stop();
    settleDue_.reset();
    settler_.showAtOnce(devices);
    report(settler_.shown());
    setConnected(true);
}

void DeviceWatch::failAttempt(const QString& reason, bool serverAnswered) {
    loseServer();
    if (connected_ && lostSince_ && now() - *lostSince_ >= timing_.lostAfter)
        declareLost();
    if (phase_ != Phase::Stopped)
        Q_EMIT attemptFailed(reason, serverAnswered);
}

void DeviceWatch::loseServer() {
    phase_ = Phase::Waiting;
    socket_.abort();
    answerTimer_.stop();
    settleTimer_.stop();
    settleDue_.reset();
    if (connected_ && !lostSince_)
        lostSince_ = now();
    scheduleAttempt();
}

void DeviceWatch::declareLost() {
    lostSince_.reset();
    settler_.showAtOnce({});
    report({});
    setConnected(false);
}

void DeviceWatch::settleChanges() {
    settleDue_.reset();
    if (phase_ != Phase::Tracking)
        return;
    settler_.settle(now());
    report(settler_.shown());
    scheduleSettling();
}

// The timer is only ever brought forward: a server sending lists without
// pause must not keep putting off what has settled.
void DeviceWatch::scheduleSettling() {
    const std::optional<DeviceListSettler::Time> next = settler_.nextSettleTime();
    if (!next) {
        settleTimer_.stop();
        settleDue_.reset();
        return;
    }
    const Time due = lastShown_ ? std::max(*next, *lastShown_ + DeviceListShowingGap) : *next;
    if (settleDue_ && *settleDue_ <= due)
        return;
    settleDue_ = due;
    settleTimer_.start(std::max(Time(0), due - now()));
}

// Nothing is reported once stopped, even by a slot that stopped the watch
// while it was reporting.
void DeviceWatch::report(const QList<ListedDevice>& devices) {
    if (devices == reported_ || phase_ == Phase::Stopped)
        return;
    reported_ = devices;
    lastShown_ = now();
    forgetUnlistedModels();
    Q_EMIT devicesChanged(reported_);
    askModels();
}

void DeviceWatch::setConnected(bool connected) {
    if (connected == connected_ || phase_ == Phase::Stopped)
        return;
    connected_ = connected;
    Q_EMIT connectedChanged(connected_);
}

void DeviceWatch::forgetUnlistedModels() {
    const QStringList listed = serialsOf(reported_);
    models_.removeIf([&listed](const QHash<QString, QString>::iterator& model) {
        return !listed.contains(model.key());
    });
    asked_.removeIf([this](const QString& serial) { return !listsUsable(reported_, serial); });
}

void DeviceWatch::askModels() {
    if (askingModels_ || phase_ == Phase::Stopped)
        return;
    QStringList wanted;
    for (const ListedDevice& device : std::as_const(reported_)) {
        if (device.usable() && !models_.contains(device.serial) && !asked_.contains(device.serial))
            wanted.append(device.serial);
    }
    if (wanted.isEmpty())
        return;
    for (const QString& serial : std::as_const(wanted))
        asked_.insert(serial);
    askingModels_ = true;
    fetchModels(this, address_, timing_.modelLimit, wanted);
}

QCoro::Task<void> DeviceWatch::fetchModels(QPointer<DeviceWatch> watch, AdbServerAddress address,
                                           std::chrono::milliseconds limit, QStringList serials) {
    const HostServiceReply reply = co_await requestHostService(address, "host:devices-l", limit);
    // The watch may have gone while the server was asked.
    if (!watch)
        co_return;
    if (reply.outcome == HostServiceReply::Outcome::Ok)
        watch->takeModels(reply.payload, serials);
    else
        watch->takeModels(std::nullopt, serials);
}

// Only phones still listed take a model; the reply may be older than the list.
void DeviceWatch::takeModels(const std::optional<QByteArray>& longListing,
                             const QStringList& serials) {
    askingModels_ = false;
    if (phase_ == Phase::Stopped)
        return;
    if (longListing) {
        QStringList listed;
        for (const QString& serial : serials) {
            if (asked_.contains(serial) && !models_.contains(serial))
                listed.append(serial);
        }
        const QHash<QString, QString> models =
            modelsFromLongListing(*longListing, listed, serialsOf(reported_));
        for (auto model = models.cbegin(); model != models.cend(); ++model) {
            models_.insert(model.key(), model.value());
            Q_EMIT modelKnown(model.key(), model.value());
            if (phase_ == Phase::Stopped)
                return;
        }
    }
    askModels();
}

} // namespace ostrel
