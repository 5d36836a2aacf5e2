// Finding the attached devices, once one has been found for good.
#include "app/AppDelegate.h"
#include "device/DeviceListing.h"

#include <QComboBox>

namespace ostrel {

void AppDelegate::adbDevices() {
    if (bridge_.devicesListed && bridge_.deviceCount != 0)
        return;
    bridge_.devicesListed = true;
    bridge_.deviceCount = 0;
    appendStringToTextView(QStringLiteral("Checking Android devices...\n"));
    if (deviceListComboBox)
        deviceListComboBox->clear();
    const DeviceCommand listing = runDeviceCommand(Mode::DeviceList, {QStringLiteral("devices")});
    if (!listing.flowGoesOn) {
        // Whatever a cut-off listing counted is not to be trusted.
        bridge_.deviceCount = 0;
        return;
    }
    handleAdbDevicesOutput();
    if (bridge_.deviceCount == 0)
        adviseOnUnusableDevices(listing.run.standardOutput);
}

void AppDelegate::handleAdbDevicesOutput() {
    bridge_.CommandMode = Mode::Idle;
    if (bridge_.deviceCount != 0) {
        if (deviceListComboBox)
            deviceListComboBox->setCurrentIndex(0);
        return;
    }
    if (deviceListComboBox) {
        deviceListComboBox->addItem(QStringLiteral("No device"));
        deviceListComboBox->setCurrentIndex(0);
    }
    appendStringToTextView(QStringLiteral("Error: no android device is connected.\n"));
    appendStringToTextView(
        QStringLiteral("Please disconnect your device and reconnect it, then press the above Start "
                       "Ostrel VNC Server button again.\n"));
}

// A device that is attached but not usable is not counted; tell the user what
// it waits for instead of leaving them with "no device".
void AppDelegate::adviseOnUnusableDevices(const QByteArray& listing) {
    const QList<UnusableDevice> devices = unusableDevices(listing);
    for (const UnusableDevice& device : devices)
        appendStringToTextView(unusableDeviceAdvice(device));
}

void AppDelegate::comboBoxSelectionDidChange(int index) {
    if (!deviceListComboBox || index < 0 || index >= deviceListComboBox->count())
        return;
    qInfo("comboBoxSelectionDidChange: %s", qUtf8Printable(deviceListComboBox->itemText(index)));
}

} // namespace ostrel
