// Finding the attached devices, once one has been found for good.
#include "core/device/DeviceListing.h"
#include "core/session/BridgeSession.h"
#include <QCoro/QCoroTask>

#include <algorithm>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

QCoro::Task<int32_t> BridgeSession::adbDevices() {
    if (bridge_.devicesListed && bridge_.deviceCount != 0)
        co_return bridge_.deviceCount;
    bridge_.devicesListed = true;
    bridge_.deviceCount = 0;
    listedSerials_.clear();
    say(u"Checking Android devices...\n"_s);
    Q_EMIT devicesListed(QStringList(), -1);
    const QStringList arguments{u"devices"_s};
    const DeviceCommand listing = co_await runDeviceCommand(Mode::DeviceList, arguments);
    if (!listing.flowGoesOn) {
        // Whatever a cut-off listing counted is not to be trusted.
        bridge_.deviceCount = 0;
        listedSerials_.clear();
        co_return 0;
    }
    handleAdbDevicesOutput();
    if (bridge_.deviceCount == 0)
        adviseOnUnusableDevices(listing.run.standardOutput);
    co_return bridge_.deviceCount;
}

void BridgeSession::handleAdbDevicesOutput() {
    bridge_.CommandMode = Mode::Idle;
    if (bridge_.deviceCount != 0) {
        // The user's choice stands for as long as its device is listed.
        const QString before = selectedSerial_;
        const int selected = std::max(0, static_cast<int>(listedSerials_.indexOf(before)));
        switchKnowledgeTo(listedSerials_.value(selected));
        Q_EMIT devicesListed(listedSerials_, selected);
        if (!before.isEmpty() && before != selectedSerial_)
            showServerState(bridge_.serverRunning);
        return;
    }
    switchKnowledgeTo(QString());
    Q_EMIT devicesListed({u"No device"_s}, 0);
    say(u"Error: no android device is connected.\n"_s, MessageKind::Failure);
    say(u"Please disconnect your device and reconnect it, then press the above "
        "Start Ostrel VNC Server button again.\n"_s,
        MessageKind::Failure);
}

// A device that is attached but not usable is not counted; tell the user what
// it waits for instead of leaving them with "no device".
void BridgeSession::adviseOnUnusableDevices(const QByteArray& listing) {
    const QList<ListedDevice> devices = parseDeviceListing(listing);
    for (const ListedDevice& device : devices) {
        if (!device.usable())
            say(unusableDeviceAdvice(device), MessageKind::Failure);
    }
}

void BridgeSession::selectDevice(const QString& serial) {
    if (listedSerials_.contains(serial))
        switchKnowledgeTo(serial);
}

// Keeps what is known about the device left, and takes up what is known about
// the one chosen, so that no command carries another device's path.
void BridgeSession::switchKnowledgeTo(const QString& serial) {
    if (serial == selectedSerial_)
        return;
    const bool firstNamed = selectedSerial_.isEmpty();
    if (!firstNamed)
        knowledge_.insert(selectedSerial_, serverKnowledgeOf(bridge_));
    if (knowledge_.contains(serial))
        restoreServerKnowledge(bridge_, knowledge_.value(serial));
    else if (!firstNamed || serial.isEmpty())
        restoreServerKnowledge(bridge_, ServerKnowledge{});
    // Otherwise what was known before any device was named goes to the first one.
    selectedSerial_ = serial;
}

} // namespace ostrel
