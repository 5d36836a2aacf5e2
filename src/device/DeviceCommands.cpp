// The one way the device flows run a command whose output they read: under a
// CommandMode that is always put back, and with a verdict on whether the flow
// may go on.
#include "app/AppDelegate.h"
#include "device/AdbFailure.h"

#include <QComboBox>

namespace ostrel {

AppDelegate::DeviceCommand AppDelegate::runDeviceCommand(int32_t mode,
                                                         const QStringList& arguments) {
    bridge_.CommandMode = mode;
    DeviceCommand command{false, launchAdbProcess(arguments, true)};
    bridge_.CommandMode = Mode::Idle;
    if (!command.run.finished())
        return command; // the runner has said why
    if (deviceIsGone(command.run)) {
        // Going on would only poll a device that is not there and then claim
        // something about it.
        appendStringToTextView(standardErrorForConsole(command.run));
        forgetDevices();
        return command;
    }
    command.flowGoesOn = true;
    return command;
}

AppDelegate::DeviceCommand AppDelegate::runOnDevice(int32_t mode, const QStringList& arguments) {
    return runDeviceCommand(mode, forSelectedDevice(arguments));
}

// With several devices attached adb refuses a command that names none, so the
// one chosen in the list is named. With one device the command stays as it is.
QStringList AppDelegate::forSelectedDevice(const QStringList& arguments) const {
    if (bridge_.deviceCount <= 1 || !deviceListComboBox)
        return arguments;
    const QString serial = deviceListComboBox->currentText();
    if (serial.isEmpty())
        return arguments;
    return QStringList{QStringLiteral("-s"), serial} + arguments;
}

void AppDelegate::forgetDevices() {
    bridge_.deviceCount = 0;
    bridge_.devicesListed = false;
}

} // namespace ostrel
