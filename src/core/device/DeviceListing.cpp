// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/device/DeviceListing.h"

#include "core/text/VisibleText.h"

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

namespace {

QByteArrayView withoutCarriageReturn(QByteArrayView line) {
    return line.endsWith('\r') ? line.chopped(1) : line;
}

} // namespace

std::optional<ListedDevice> parseDeviceLine(QByteArrayView line) {
    line = withoutCarriageReturn(line);
    const qsizetype tab = line.indexOf('\t');
    if (tab <= 0)
        return std::nullopt;
    return ListedDevice{QString::fromUtf8(line.first(tab)),
                        QString::fromUtf8(line.sliced(tab + 1))};
}

QList<ListedDevice> parseDeviceListing(QByteArrayView listing) {
    QList<ListedDevice> devices;
    while (!listing.isEmpty()) {
        const qsizetype end = listing.indexOf('\n');
        const QByteArrayView line = end < 0 ? listing : listing.first(end);
        listing = end < 0 ? QByteArrayView() : listing.sliced(end + 1);
        if (std::optional<ListedDevice> device = parseDeviceLine(line))
            devices.append(*device);
    }
    return devices;
}

QString deviceItemText(const ListedDevice& device) {
    const QString serial = visibleText(device.serial);
    if (device.usable())
        return serial;
    return serial + u" \u2014 "_s + shownState(device.state);
}

QString shownState(const QString& state) {
    qsizetype end = state.size();
    const qsizetype parenthesis = state.indexOf(u" ("_s);
    const qsizetype semicolon = state.indexOf(u';');
    if (parenthesis >= 0)
        end = parenthesis;
    if (semicolon >= 0 && semicolon < end)
        end = semicolon;
    return visibleText(QStringView(state).first(end).trimmed());
}

QString unusableDeviceAdvice(const ListedDevice& device) {
    const QString serial = visibleText(device.serial);
    const QString state = shownState(device.state);
    if (state == u"unauthorized"_s)
        return u"Device %1 is unauthorized: unlock it, accept the USB debugging prompt on the "
               "device, then try again.\n"_s.arg(serial);
    if (state == u"offline"_s)
        return u"Device %1 is offline: disconnect the USB cable and reconnect it, then try "
               "again.\n"_s.arg(serial);
    if (state == u"no permissions"_s)
        return u"Device %1 cannot be used (no permissions): allow this computer's user to "
               "access the device over USB, reconnect the cable, then try again.\n"_s.arg(serial);
    return u"Device %1 is %2 and cannot be used now.\n"_s.arg(serial, state);
}

} // namespace ostrel
