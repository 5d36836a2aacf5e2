#pragma once

#include "core/device/DeviceListing.h"

#include <QList>
#include <QString>

namespace ostrel {

// One entry of the device list as people see it.
struct DeviceItem {
    QString text;   // the serial, "SERIAL — STATE", or "No device"
    QString serial; // empty for "No device"
    bool selectable = false;
};

// What the device list shows: every attached phone in listing order, and
// "No device" first when none is selected; `current` is the entry shown.
struct DeviceItems {
    QList<DeviceItem> items;
    int current = 0;

    QStringList texts() const;
};

DeviceItems deviceItems(const QList<ListedDevice>& devices, const QString& selected);

} // namespace ostrel
