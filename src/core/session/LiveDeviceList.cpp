// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/session/LiveDeviceList.h"

#include "core/session/DeviceDiscovery.h"
#include "core/session/FlowControl.h"

#include <utility>

namespace ostrel {

LiveDeviceList::LiveDeviceList(DeviceDiscovery& discovery, FlowControl& flow, QObject* parent)
    : QObject(parent), discovery_(discovery), flow_(flow) {
    // The list is followed a turn after the news, never inside the signal
    // that brought it: the watch may still be reporting, and a flow that has
    // just ended is still unwinding.
    followTimer_.setSingleShot(true);
    followTimer_.setTimerType(Qt::PreciseTimer);
    followTimer_.setInterval(0);
    connect(&followTimer_, &QTimer::timeout, this, &LiveDeviceList::follow);
    noServerTimer_.setSingleShot(true);
    noServerTimer_.setTimerType(Qt::PreciseTimer);
    connect(&noServerTimer_, &QTimer::timeout, this, [this] {
        if (!watch_->isConnected() && discovery_.listedDevices().isEmpty()) {
            lost_ = true;
            followSoon();
        }
    });
    connect(&flow_, &FlowControl::busyChanged, this, [this](bool busy) {
        if (!busy)
            followSoon();
    });
}

LiveDeviceList::~LiveDeviceList() {
    stop();
}

void LiveDeviceList::start(const AdbServerAddress& address, const DeviceWatchTiming& timing) {
    if (watch_ || stopped_)
        return;
    watch_ = std::make_unique<DeviceWatch>(address, timing);
    // A server that does not answer soon is taken to be none: the list says
    // so rather than stay blank.
    noServerTimer_.start(timing.lostAfter);
    connect(watch_.get(), &DeviceWatch::devicesChanged, this, &LiveDeviceList::followSoon);
    connect(watch_.get(), &DeviceWatch::connectedChanged, this, [this](bool connected) {
        if (connected)
            told_.forget(); // a server that comes back after a loss is news again
        else
            lost_ = true;
        followSoon();
    });
    connect(watch_.get(), &DeviceWatch::modelKnown, this, &LiveDeviceList::followSoon);
    connect(watch_.get(), &DeviceWatch::attemptFailed, this, &LiveDeviceList::onAttemptFailed);
    discovery_.useWatch(watch_.get());
    watch_->start();
}

void LiveDeviceList::stop() {
    stopped_ = true;
    followTimer_.stop();
    noServerTimer_.stop();
    if (watch_)
        watch_->stop();
}

void LiveDeviceList::poke() {
    if (watch_)
        watch_->poke();
}

void LiveDeviceList::onAttemptFailed(const QString& reason, bool serverAnswered) {
    if (serverAnswered && told_.firstTime(reason))
        Q_EMIT serverUnfollowable(watch_->address(), reason);
}

void LiveDeviceList::followSoon() {
    if (watch_ && !stopped_)
        followTimer_.start();
}

void LiveDeviceList::follow() {
    if (!watch_ || stopped_)
        return;
    if (flow_.busy()) {
        if (watch_->isConnected())
            discovery_.showListing(watch_->devices());
        return;
    }
    // A watch that is not connected has news only when it has just lost its
    // server; until it first connects, the list keeps what a flow found.
    if (!watch_->isConnected()) {
        if (std::exchange(lost_, false))
            discovery_.followListing({}, false);
        return;
    }
    lost_ = false;
    if (discovery_.followListing(watch_->devices(), true))
        Q_EMIT selectionMoved();
}

} // namespace ostrel
