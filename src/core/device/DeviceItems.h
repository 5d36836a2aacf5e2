// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/device/DeviceListing.h"

#include <QHash>
#include <QList>
#include <QString>

namespace ostrel {

// One entry of the device list as people see it.
struct DeviceItem {
    QString text;   // the serial or "MODEL (SERIAL)", "SERIAL — STATE", or "No device"
    QString serial; // empty for "No device"
    bool selectable = false;
};

// What the device list shows: every attached phone in listing order, and
// "No device" first when none of them is selected; `current` is the entry
// shown. A usable phone whose model is in `models` (by serial) shows as
// "MODEL (SERIAL)", so that two phones of one kind can still be told apart.
struct DeviceItems {
    QList<DeviceItem> items;
    int current = 0;

    QStringList texts() const;
};

DeviceItems deviceItems(const QList<ListedDevice>& devices, const QString& selected,
                        const QHash<QString, QString>& models = {});

} // namespace ostrel
