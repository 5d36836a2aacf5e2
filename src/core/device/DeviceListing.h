// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

namespace ostrel {

// One phone as adb lists it: `serial<TAB>state`. The serial is adb's own
// (USB devices choose theirs, wireless ones hold spaces) and is never shown
// without visibleText().
struct ListedDevice {
    QString serial;
    QString state; // the rest of the line: "device", "unauthorized", "no permissions (...)..."

    // Only a phone in state "device" takes commands.
    bool usable() const { return state == QLatin1String("device"); }
    friend bool operator==(const ListedDevice&, const ListedDevice&) = default;
};

// One line of a listing (without its line end; a trailing CR is dropped), or
// nothing when the line is no device line.
std::optional<ListedDevice> parseDeviceLine(QByteArrayView line);

// The phones of an `adb devices` listing, or of one frame of adb's device
// tracking, in listing order: every line holding a TAB after a non-empty
// serial, split at its first TAB, the state less a trailing CR. The header,
// blank lines and the daemon's messages are no devices.
QList<ListedDevice> parseDeviceListing(QByteArrayView listing);

// How the device list shows a phone: its serial when usable, else
// "SERIAL — STATE"; made harmless with visibleText().
QString deviceItemText(const ListedDevice& device);

// A state as people read it: adb's text before its first " (" or ";",
// trimmed ("no permissions (missing udev rules?...)" reads "no permissions").
QString shownState(const QString& state);

// One console line (ending in "\n") naming an unusable device and what to do
// about its state.
QString unusableDeviceAdvice(const ListedDevice& device);

} // namespace ostrel
