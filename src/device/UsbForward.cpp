// Reaching the device's VNC and web ports through localhost over USB.
#include "app/AppDelegate.h"
#include "device/AdbFailure.h"
#include "device/PortText.h"

#include <QLineEdit>
#include <QMainWindow>
#include <QTextBrowser>

#include <memory>

namespace ostrel {

namespace {

// The web port lies 100 below the VNC port; wraps like 32-bit arithmetic
// instead of overflowing.
int32_t webPortFor(int32_t vncPort) {
    return static_cast<int32_t>(static_cast<uint32_t>(vncPort) - 100u);
}

QString portSpec(int32_t port) {
    return QStringLiteral("tcp:%1").arg(port);
}

} // namespace

void AppDelegate::onUSBConnectButtonClicked() {
    runUserAction([this] {
        const int32_t port = askForVncPort();
        if (port == 0)
            return; // cancelled, or no number given
        appendStringToTextView(QStringLiteral("Setting up USB connection...\r\n"));
        adbForward(port);
    });
}

// 0 when the user cancelled or typed no number.
int32_t AppDelegate::askForVncPort() {
    auto field = std::make_unique<QLineEdit>(QStringLiteral("5901"));
    field->setMinimumWidth(100);
    const Alert prompt{QStringLiteral("Please Enter VNC Port Number"),
                       QStringLiteral("Use the same port number as displayed on device"),
                       {QStringLiteral("OK"), QStringLiteral("Cancel")},
                       field.get(),
                       field.get()};
    if (desktop_.runAlert(window, prompt) != 1)
        return 0;
    return portFromText(field->text());
}

void AppDelegate::adbForward(int32_t port) {
    adbDevices();
    if (bridge_.deviceCount < 1)
        return;
    if (!forwardPort(port))
        return;
    if (bridge_.forwardEstablished) {
        appendStringToTextView(QStringLiteral("You can connect to the following address with VNC "
                                              "clients while the android device is connected with "
                                              "USB:\r\n"));
        appendStringToTextView(QStringLiteral("    "));
        const QString address = QStringLiteral("vnc://localhost:%1").arg(port);
        setHyperlinkWithTextView(textView, address + QStringLiteral("\r\n\r\n"), address);
    }
    const int32_t webPort = webPortFor(port);
    if (!forwardPort(webPort))
        return;
    if (bridge_.forwardEstablished) {
        appendStringToTextView(QStringLiteral("You can browse to the following address while the "
                                              "android device is connected with USB:\r\n"));
        appendStringToTextView(QStringLiteral("    "));
        const QString address = QStringLiteral("http://localhost:%1").arg(webPort);
        setHyperlinkWithTextView(textView, address + QStringLiteral("\r\n\r\n"), address);
    }
}

// adb's exit status is the one reliable verdict on a forward: a working one
// prints the port, a refused one prints nothing and explains on standard error.
// False when the flow must end.
bool AppDelegate::forwardPort(int32_t port) {
    bridge_.forwardEstablished = true;
    const QString spec = portSpec(port);
    const DeviceCommand command =
        runOnDevice(Mode::Forward, {QStringLiteral("forward"), spec, spec});
    bridge_.forwardEstablished = command.run.succeeded();
    forwardInForce_ = forwardInForce_ || bridge_.forwardEstablished;
    if (!command.flowGoesOn)
        return false;
    if (!bridge_.forwardEstablished) {
        const QString reason = standardErrorForConsole(command.run);
        appendStringToTextView(
            reason.isEmpty()
                ? QStringLiteral("Error: adb could not forward %1 (exit status %2).\r\n")
                      .arg(spec)
                      .arg(command.run.exitCode)
                : reason);
    }
    return true;
}

} // namespace ostrel
