#include "core/device/DeviceItems.h"

namespace ostrel {

QStringList DeviceItems::texts() const {
    QStringList texts;
    for (const DeviceItem& item : items)
        texts.append(item.text);
    return texts;
}

DeviceItems deviceItems(const QList<ListedDevice>& devices, const QString& selected) {
    DeviceItems shown;
    if (selected.isEmpty())
        shown.items.append({QStringLiteral("No device"), QString(), false});
    for (const ListedDevice& device : devices) {
        if (device.serial == selected)
            shown.current = static_cast<int>(shown.items.size());
        shown.items.append({deviceItemText(device), device.serial, device.usable()});
    }
    return shown;
}

} // namespace ostrel
