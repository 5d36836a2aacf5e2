#include "core/server/DeviceWatch.h"

#include "core/server/AdbWireFormat.h"
#include "core/server/HostServiceRequest.h"
#include "core/server/LongListingModel.h"

#include <QCoro/QCoroTask>
#include <QSet>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

namespace {

QStringList serialsOf(const QList<ListedDevice>& devices) {
    QStringList serials;
    for (const ListedDevice& device : devices)
        serials.append(device.serial);
    return serials;
}

QSet<QString> usableSerials(const QList<ListedDevice>& devices) {
    QSet<QString> serials;
    for (const ListedDevice& device : devices) {
        if (device.usable())
            serials.insert(device.serial);
    }
    return serials;
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
    for (QTimer* timer : {&retryTimer_, &settleTimer_, &lostTimer_}) {
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
    }
    connect(&retryTimer_, &QTimer::timeout, this, &DeviceWatch::connectNow);
    connect(&settleTimer_, &QTimer::timeout, this, &DeviceWatch::settleChanges);
    connect(&lostTimer_, &QTimer::timeout, this, &DeviceWatch::onLostTimeout);
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
    for (QTimer* timer : {&retryTimer_, &settleTimer_, &lostTimer_})
        timer->stop();
    socket_.abort();
}

void DeviceWatch::poke() {
    if (phase_ != Phase::Waiting)
        return;
    retryTimer_.stop();
    connectNow();
}

void DeviceWatch::connectNow() {
    if (phase_ == Phase::Stopped)
        return;
    socket_.abort();
    phase_ = Phase::Connecting;
    reader_ = {};
    socket_.connectToHost(address_.host, address_.port);
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
        failAttempt(u"the adb server refused to track devices: %1"_s.arg(reader_.problem()));
    else if (reader_.status() == DeviceTrackReader::Status::Broken)
        failAttempt(reader_.problem());
}

void DeviceWatch::onSocketEnded() {
    switch (phase_) {
    case Phase::Connecting:
        failAttempt(
            u"no adb server answers at %1: %2"_s.arg(address_.text(), socket_.errorString()));
        break;
    case Phase::AwaitingFirstList:
    case Phase::Tracking:
        if (socket_.bytesAvailable() > 0)
            onReadyRead();
        if (phase_ != Phase::AwaitingFirstList && phase_ != Phase::Tracking)
            break;
        reader_.endOfStream();
        if (phase_ == Phase::Tracking && reader_.status() == DeviceTrackReader::Status::Accepted)
            loseServer(std::chrono::milliseconds(0)); // it may be back already
        else
            failAttempt(reader_.problem().isEmpty() ? u"the adb server closed the connection"_s
                                                    : reader_.problem());
        break;
    case Phase::NotStarted:
    case Phase::Waiting:
    case Phase::Stopped:
        break;
    }
}

void DeviceWatch::takeListing(const QList<ListedDevice>& devices) {
    const bool first = phase_ == Phase::AwaitingFirstList;
    askModels(devices, first ? QList<ListedDevice>() : settler_.latest());
    if (!first) {
        settler_.takeListing(devices, std::chrono::milliseconds(clock_.elapsed()));
        scheduleSettling();
        return;
    }
    phase_ = Phase::Tracking;
    lostTimer_.stop();
    settleTimer_.stop();
    settler_.showAtOnce(devices);
    report(settler_.shown());
    setConnected(true);
}

// A connection that broke the protocol or never got going: the next attempt
// waits its turn, so that a server that answers nonsense is not hammered.
void DeviceWatch::failAttempt(const QString& reason) {
    const bool wasTracking = phase_ == Phase::Tracking;
    loseServer(timing_.retry);
    if (!wasTracking)
        Q_EMIT attemptFailed(reason);
}

void DeviceWatch::loseServer(std::chrono::milliseconds nextAttempt) {
    phase_ = Phase::Waiting;
    socket_.abort();
    settleTimer_.stop();
    if (connected_ && !lostTimer_.isActive())
        lostTimer_.start(timing_.lostAfter);
    retryTimer_.start(nextAttempt);
}

void DeviceWatch::onLostTimeout() {
    if (phase_ == Phase::Tracking || phase_ == Phase::Stopped)
        return;
    settler_.showAtOnce({});
    models_.clear();
    report({});
    setConnected(false);
}

void DeviceWatch::settleChanges() {
    if (phase_ != Phase::Tracking)
        return;
    settler_.settle(std::chrono::milliseconds(clock_.elapsed()));
    report(settler_.shown());
    scheduleSettling();
}

void DeviceWatch::scheduleSettling() {
    const std::optional<DeviceListSettler::Time> next = settler_.nextSettleTime();
    if (!next) {
        settleTimer_.stop();
        return;
    }
    const std::chrono::milliseconds now(clock_.elapsed());
    settleTimer_.start(std::max(std::chrono::milliseconds(0), *next - now));
}

// Nothing is reported once stopped, even by a slot that stopped the watch
// while it was reporting.
void DeviceWatch::report(const QList<ListedDevice>& devices) {
    if (devices == reported_ || phase_ == Phase::Stopped)
        return;
    reported_ = devices;
    Q_EMIT devicesChanged(reported_);
}

void DeviceWatch::setConnected(bool connected) {
    if (connected == connected_ || phase_ == Phase::Stopped)
        return;
    connected_ = connected;
    Q_EMIT connectedChanged(connected_);
}

void DeviceWatch::askModels(const QList<ListedDevice>& devices, const QList<ListedDevice>& before) {
    const QSet<QString> usableBefore = usableSerials(before);
    QStringList arrived;
    for (const QString& serial : usableSerials(devices)) {
        if (!usableBefore.contains(serial))
            arrived.append(serial);
    }
    if (!arrived.isEmpty())
        fetchModels(this, address_, timing_.modelLimit, arrived, serialsOf(devices));
}

QCoro::Task<void> DeviceWatch::fetchModels(QPointer<DeviceWatch> watch, AdbServerAddress address,
                                           std::chrono::milliseconds limit, QStringList serials,
                                           QStringList knownSerials) {
    const HostServiceReply reply = co_await requestHostService(address, "host:devices-l", limit);
    // The watch may have gone while the server was asked.
    if (watch && reply.outcome == HostServiceReply::Outcome::Ok)
        watch->takeModels(reply.payload, serials, knownSerials);
}

void DeviceWatch::takeModels(const QByteArray& longListing, const QStringList& serials,
                             const QStringList& knownSerials) {
    if (phase_ == Phase::Stopped)
        return;
    for (const QString& serial : serials) {
        const std::optional<QString> model =
            modelFromLongListing(longListing, serial, knownSerials);
        if (!model)
            continue;
        models_.insert(serial, *model);
        Q_EMIT modelKnown(serial, *model);
    }
}

} // namespace ostrel
