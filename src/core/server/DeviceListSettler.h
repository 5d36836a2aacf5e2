// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/device/DeviceListing.h"

#include <QHash>
#include <QList>
#include <QString>

#include <chrono>
#include <optional>

namespace ostrel {

// Decides which device list is shown while adb's server reports changes,
// phone by phone. A phone whose listing (present or not, its state) differs
// from what is shown for the settling time is shown as the server lists it
// then; one that comes back to what is shown sooner was never away. So a
// state that reverts within the settling time never shows (a wireless phone
// going offline for a moment), a phone that keeps changing shows where it is
// once it has been away that long, and no phone holds up another. Times are
// any steady clock's milliseconds; the settler keeps no clock of its own.
class DeviceListSettler {
public:
    using Time = std::chrono::milliseconds;

    explicit DeviceListSettler(std::chrono::milliseconds settlingTime)
        : settlingTime_(settlingTime) {}

    // Shows `devices` as they are and forgets what was pending: the first list
    // of a connection is the truth at once.
    void showAtOnce(const QList<ListedDevice>& devices);
    // The server's whole list as of `now`.
    void takeListing(const QList<ListedDevice>& devices, Time now);
    // Shows every change that has held for the settling time by `now`.
    // Returns whether the shown list changed.
    bool settle(Time now);
    // When settle() will next have a change to show; nothing when none waits.
    std::optional<Time> nextSettleTime() const;

    // What is shown: phones in the server's latest order, followed by those
    // whose departure has not settled yet. Never two with one serial.
    const QList<ListedDevice>& shown() const { return shown_; }
    // The server's latest list, less repeated serials.
    const QList<ListedDevice>& latest() const { return latest_; }

private:
    struct PendingChange {
        std::optional<QString> state; // nothing: the phone has gone
        Time since;
    };

    void noteChange(const QString& serial, Time now);
    QList<ListedDevice> orderedShown(const QHash<QString, QString>& states) const;

    std::chrono::milliseconds settlingTime_;
    QList<ListedDevice> shown_;
    QList<ListedDevice> latest_;
    QHash<QString, PendingChange> pending_;
};

} // namespace ostrel
