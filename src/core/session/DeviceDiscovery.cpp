// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/session/DeviceDiscovery.h"

#include "core/server/DeviceWatch.h"
#include "core/session/AdbCommands.h"
#include "core/session/SessionConsole.h"
#include "core/text/VisibleText.h"

#include <QCoro/QCoroTask>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

namespace {

QString deviceLines(const QStringList& serials) {
    QString lines;
    for (const QString& serial : serials)
        lines += u"    "_s + visibleText(serial) + u"\n"_s;
    return lines;
}

} // namespace

DeviceDiscovery::DeviceDiscovery(AdbCommands& commands, SessionConsole& console, QObject* parent)
    : QObject(parent), commands_(commands), console_(console) {}

QCoro::Task<Step<QString>> DeviceDiscovery::adbDevices() {
    console_.say(u"Checking Android devices...\n"_s);
    if (watch_ && watch_->isConnected()) {
        // The server's own list is as fresh as a listing, and asking for it
        // again would only cost a process.
        listed_ = watch_->devices();
        sayListing(listed_);
        adviseOnChangedDevices();
        co_return choosePhone();
    }
    const Step<QList<ListedDevice>> listed = co_await listDevices();
    if (!listed.goesOn())
        co_return listed.stopped<QString>();
    co_return handleAdbDevicesOutput(listed.value);
}

QCoro::Task<Step<QList<ListedDevice>>> DeviceDiscovery::listDevices() {
    const QStringList arguments{u"devices"_s};
    const Step<AdbRun> listing = co_await commands_.askServer(Echo::Shown, arguments);
    if (!listing.goesOn())
        co_return listing.stopped<QList<ListedDevice>>();
    listed_ = parseDeviceListing(listing.value.standardOutput);
    co_return goOn(listed_);
}

Step<QString> DeviceDiscovery::handleAdbDevicesOutput(const QList<ListedDevice>& devices) {
    listed_ = devices;
    adviseOnUnusableDevices();
    return choosePhone();
}

Step<QString> DeviceDiscovery::choosePhone() {
    const QStringList usable = usableSerials();
    if (!required_.isEmpty())
        return findRequiredDevice(usable);
    if (!selected_.isEmpty())
        return keepOrLoseSelection(usable);
    return pickDevice(usable);
}

// Shown as adb would have printed it, so that the console reads the same
// whichever way the list came.
void DeviceDiscovery::sayListing(const QList<ListedDevice>& devices) {
    QString listing = u"List of devices attached\n"_s;
    for (const ListedDevice& device : devices)
        listing += device.serial + u'\t' + device.state + u'\n';
    commands_.writeStdOut(listing + u'\n');
}

bool DeviceDiscovery::followListing(const QList<ListedDevice>& devices, bool connected) {
    if (!connected) {
        // Nothing is known of the phones while no server answers, and
        // nothing the user did is wrong.
        listed_.clear();
        advised_.clear();
        selected_.clear();
        Q_EMIT devicesListed(listed_, selected_);
        return false;
    }
    listed_ = devices;
    const QStringList usable = usableSerials();
    if (!selected_.isEmpty() && !usable.contains(selected_))
        sayDeparture(selected_);
    adviseOnChangedDevices();
    const QString chosen = usable.contains(selected_) ? selected_ : usable.value(0);
    const bool moved = !chosen.isEmpty() && chosen != selected_;
    selected_ = chosen;
    Q_EMIT devicesListed(listed_, selected_);
    return moved;
}

void DeviceDiscovery::showListing(const QList<ListedDevice>& devices) {
    Q_EMIT devicesListed(devices, selected_);
}

// The selected phone's own line comes first, and its advice right after it.
void DeviceDiscovery::sayDeparture(const QString& serial) {
    for (const ListedDevice& device : std::as_const(listed_)) {
        if (device.serial != serial)
            continue;
        console_.say(u"Device %1 is now %2.\n"_s.arg(visibleText(serial),
                                                     visibleText(shownState(device.state))),
                     MessageKind::Failure);
        console_.say(unusableDeviceAdvice(device), MessageKind::Failure);
        advised_.insert(serial, device.state);
        return;
    }
    console_.say(u"Device %1 is no longer attached.\n"_s.arg(visibleText(serial)),
                 MessageKind::Failure);
}

QStringList DeviceDiscovery::usableSerials() const {
    QStringList serials;
    for (const ListedDevice& device : listed_) {
        if (device.usable())
            serials.append(device.serial);
    }
    return serials;
}

void DeviceDiscovery::selectDevice(const QString& serial) {
    if (usableSerials().contains(serial))
        selected_ = serial;
}

// The user's choice stands while its phone can be used. When it has gone the
// flow ends rather than act on another phone the user did not choose.
Step<QString> DeviceDiscovery::keepOrLoseSelection(const QStringList& usable) {
    if (usable.contains(selected_)) {
        Q_EMIT devicesListed(listed_, selected_);
        return goOn(selected_);
    }
    const QString lost = std::exchange(selected_, usable.value(0));
    selectionMoved_ = !selected_.isEmpty();
    Q_EMIT devicesListed(listed_, selected_);
    bool stillListed = false;
    for (const ListedDevice& device : std::as_const(listed_))
        stillListed = stillListed || device.serial == lost;
    // A phone still listed in another state has had its advice said.
    if (!stillListed)
        console_.say(u"Device %1 is no longer attached.\n"_s.arg(visibleText(lost)),
                     MessageKind::Failure);
    if (usable.isEmpty())
        sayNoDevice();
    return ends();
}

Step<QString> DeviceDiscovery::findRequiredDevice(const QStringList& usable) {
    if (usable.contains(required_)) {
        selected_ = required_;
        Q_EMIT devicesListed(listed_, selected_);
        return goOn(selected_);
    }
    selected_.clear();
    Q_EMIT devicesListed(listed_, selected_);
    console_.say(u"Error: no device with the serial %1 is attached. Attached:\n"_s.arg(
                     visibleText(required_)) +
                     deviceLines(usable),
                 MessageKind::Failure);
    return ends();
}

Step<QString> DeviceDiscovery::pickDevice(const QStringList& usable) {
    if (usable.isEmpty()) {
        Q_EMIT devicesListed(listed_, QString());
        sayNoDevice();
        return ends();
    }
    if (choice_ == Choice::OnlyUsable && usable.size() > 1) {
        // Picking the first would act on a phone the script may not mean.
        Q_EMIT devicesListed(listed_, QString());
        console_.say(
            u"Error: %1 devices are attached; name one with --serial:\n"_s.arg(usable.size()) +
                deviceLines(usable),
            MessageKind::Failure);
        return ends();
    }
    selected_ = usable.first();
    Q_EMIT devicesListed(listed_, selected_);
    return goOn(selected_);
}

// An attached phone that cannot be used is not left unexplained.
void DeviceDiscovery::adviseOnUnusableDevices() {
    for (const ListedDevice& device : std::as_const(listed_)) {
        if (!device.usable())
            console_.say(unusableDeviceAdvice(device), MessageKind::Failure);
    }
}

// A watched list changes often (a phone flapping, another plugged in): each
// phone's state is explained once, not at every change of the others.
void DeviceDiscovery::adviseOnChangedDevices() {
    QHash<QString, QString> advised;
    for (const ListedDevice& device : std::as_const(listed_)) {
        if (device.usable())
            continue;
        const auto before = advised_.constFind(device.serial);
        if (before == advised_.constEnd() || *before != device.state)
            console_.say(unusableDeviceAdvice(device), MessageKind::Failure);
        advised.insert(device.serial, device.state);
    }
    advised_ = advised;
}

void DeviceDiscovery::sayNoDevice() {
    console_.say(u"Error: no android device is connected.\n"_s, MessageKind::Failure);
    console_.say(u"Please disconnect your device and reconnect it, then press the above "
                 "Start Ostrel VNC Server button again.\n"_s,
                 MessageKind::Failure);
}

Step<QString> DeviceDiscovery::ends() {
    return Step<QString>{FlowStep::Ends, QString()};
}

} // namespace ostrel
