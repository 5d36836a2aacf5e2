#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace ostrel {

// A device that a device listing shows but that cannot be used yet.
struct UnusableDevice {
    QString serial;
    QString state; // "unauthorized", "offline" or "no permissions"
};

// The devices of an `adb devices` listing whose state keeps them from being
// used, in listing order. Anything else in the output is ignored.
QList<UnusableDevice> unusableDevices(const QByteArray& listing);

// One console line (ending in "\n") that names the device and tells the user
// what to do about its state.
QString unusableDeviceAdvice(const UnusableDevice& device);

} // namespace ostrel
