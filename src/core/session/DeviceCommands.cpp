// The one way the device flows run a command whose output they read: under a
// CommandMode that is always put back, and with a verdict on whether the flow
// may go on.
#include "core/device/AdbFailure.h"
#include "core/session/BridgeSession.h"
#include <QCoro/QCoroTask>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

QCoro::Task<BridgeSession::DeviceCommand> BridgeSession::runDeviceCommand(int32_t mode,
                                                                          QStringList arguments) {
    bridge_.CommandMode = mode;
    // GCC 12 destroys a co_await result twice when it initialises an aggregate
    // in place: it is taken into a local first.
    AdbRun run = co_await launchAdbProcess(arguments, true);
    DeviceCommand command{false, std::move(run)};
    bridge_.CommandMode = Mode::Idle;
    if (!command.run.finished() || cancelled_)
        co_return command; // the runner has said why
    if (deviceIsGone(command.run)) {
        // Going on would only poll a device that is not there and then claim
        // something about it.
        say(standardErrorForConsole(command.run), MessageKind::Failure);
        forgetDevices();
        co_return command;
    }
    command.flowGoesOn = true;
    co_return command;
}

QCoro::Task<BridgeSession::DeviceCommand> BridgeSession::runOnDevice(int32_t mode,
                                                                     QStringList arguments) {
    co_return co_await runDeviceCommand(mode, forSelectedDevice(arguments));
}

// With several devices attached adb refuses a command that names none, so the
// chosen one is named. With one device the command stays as it is.
QStringList BridgeSession::forSelectedDevice(const QStringList& arguments) const {
    if (bridge_.deviceCount <= 1 || selectedSerial_.isEmpty())
        return arguments;
    return QStringList{u"-s"_s, selectedSerial_} + arguments;
}

void BridgeSession::forgetDevices() {
    bridge_.deviceCount = 0;
    bridge_.devicesListed = false;
}

} // namespace ostrel
