// Finding the attached devices, once one has been found for good.
#include "core/device/DeviceListing.h"
#include "core/session/BridgeSession.h"
#include <QCoro/QCoroTask>

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
        selectedSerial_ = listedSerials_.value(0);
        Q_EMIT devicesListed(listedSerials_, 0);
        return;
    }
    selectedSerial_.clear();
    Q_EMIT devicesListed({u"No device"_s}, 0);
    say(u"Error: no android device is connected.\n"_s, MessageKind::Failure);
    say(u"Please disconnect your device and reconnect it, then press the above "
        "Start Ostrel VNC Server button again.\n"_s,
        MessageKind::Failure);
}

// A device that is attached but not usable is not counted; tell the user what
// it waits for instead of leaving them with "no device".
void BridgeSession::adviseOnUnusableDevices(const QByteArray& listing) {
    const QList<UnusableDevice> devices = unusableDevices(listing);
    for (const UnusableDevice& device : devices)
        say(unusableDeviceAdvice(device), MessageKind::Failure);
}

void BridgeSession::selectDevice(const QString& serial) {
    if (listedSerials_.contains(serial))
        selectedSerial_ = serial;
}

} // namespace ostrel
