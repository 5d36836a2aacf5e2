// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/device/DeviceItems.h"

#include "core/text/VisibleText.h"

#include <algorithm>

namespace ostrel {

QStringList DeviceItems::texts() const {
    QStringList texts;
    for (const DeviceItem& item : items)
        texts.append(item.text);
    return texts;
}

namespace {

QString itemText(const ListedDevice& device, const QHash<QString, QString>& models) {
    const QString model = device.usable() ? models.value(device.serial) : QString();
    if (model.isEmpty())
        return deviceItemText(device);
    return QStringLiteral("%1 (%2)").arg(visibleText(model), deviceItemText(device));
}

} // namespace

DeviceItems deviceItems(const QList<ListedDevice>& devices, const QString& selected,
                        const QHash<QString, QString>& models) {
    DeviceItems shown;
    // A selection whose phone the list no longer holds (it left while a flow
    // ran) is not shown as if another phone were chosen.
    const bool selectedListed =
        std::any_of(devices.begin(), devices.end(),
                    [&selected](const ListedDevice& device) { return device.serial == selected; });
    if (selected.isEmpty() || !selectedListed)
        shown.items.append({QStringLiteral("No device"), QString(), false});
    for (const ListedDevice& device : devices) {
        if (device.serial == selected)
            shown.current = static_cast<int>(shown.items.size());
        shown.items.append({itemText(device, models), device.serial, device.usable()});
    }
    return shown;
}

} // namespace ostrel
