// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/server/DeviceListSettler.h"

#include <QSet>

#include <algorithm>

namespace ostrel {

namespace {

// A server that repeats a serial is not to be trusted with the second line.
QList<ListedDevice> withoutRepeatedSerials(const QList<ListedDevice>& devices) {
    QList<ListedDevice> unique;
    QSet<QString> seen;
    for (const ListedDevice& device : devices) {
        if (!seen.contains(device.serial)) {
            seen.insert(device.serial);
            unique.append(device);
        }
    }
    return unique;
}

std::optional<QString> stateIn(const QList<ListedDevice>& devices, const QString& serial) {
    for (const ListedDevice& device : devices) {
        if (device.serial == serial)
            return device.state;
    }
    return std::nullopt;
}

QHash<QString, QString> statesBySerial(const QList<ListedDevice>& devices) {
    QHash<QString, QString> states;
    for (const ListedDevice& device : devices)
        states.insert(device.serial, device.state);
    return states;
}

} // namespace

void DeviceListSettler::showAtOnce(const QList<ListedDevice>& devices) {
    latest_ = withoutRepeatedSerials(devices);
    shown_ = latest_;
    pending_.clear();
}

void DeviceListSettler::takeListing(const QList<ListedDevice>& devices, Time now) {
    latest_ = withoutRepeatedSerials(devices);
    // A phone that came and went before it showed is pending in neither list.
    const QStringList pendingSerials = pending_.keys();
    for (const QString& serial : pendingSerials)
        noteChange(serial, now);
    for (const ListedDevice& device : latest_)
        noteChange(device.serial, now);
    for (const ListedDevice& device : shown_)
        noteChange(device.serial, now);
}

void DeviceListSettler::noteChange(const QString& serial, Time now) {
    const std::optional<QString> wanted = stateIn(latest_, serial);
    if (wanted == stateIn(shown_, serial)) {
        pending_.remove(serial);
        return;
    }
    // The time runs from when the phone left what is shown: a phone that keeps
    // changing (offline, authorizing, offline...) shows where it is once it
    // has been away that long, instead of staying shown as it no longer is.
    const auto pending = pending_.find(serial);
    if (pending == pending_.end())
        pending_.insert(serial, {wanted, now});
    else
        pending->state = wanted;
}

bool DeviceListSettler::settle(Time now) {
    QHash<QString, QString> states = statesBySerial(shown_);
    bool adopted = false;
    for (auto change = pending_.begin(); change != pending_.end();) {
        if (change->since + settlingTime_ > now) {
            ++change;
            continue;
        }
        if (change->state)
            states.insert(change.key(), *change->state);
        else
            states.remove(change.key());
        change = pending_.erase(change);
        adopted = true;
    }
    if (!adopted)
        return false;
    QList<ListedDevice> shown = orderedShown(states);
    const bool changed = shown != shown_;
    shown_ = std::move(shown);
    return changed;
}

QList<ListedDevice> DeviceListSettler::orderedShown(const QHash<QString, QString>& states) const {
    QList<ListedDevice> shown;
    QSet<QString> placed;
    for (const QList<ListedDevice>* order : {&latest_, &shown_}) {
        for (const ListedDevice& device : *order) {
            const auto state = states.constFind(device.serial);
            if (state != states.cend() && !placed.contains(device.serial)) {
                placed.insert(device.serial);
                shown.append({device.serial, *state});
            }
        }
    }
    return shown;
}

std::optional<DeviceListSettler::Time> DeviceListSettler::nextSettleTime() const {
    std::optional<Time> next;
    for (const PendingChange& change : pending_) {
        const Time due = change.since + settlingTime_;
        next = next ? std::min(*next, due) : due;
    }
    return next;
}

} // namespace ostrel
