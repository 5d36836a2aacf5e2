// The window's side of the device flows: what starts them, and how their
// results show in the button, the status line and the device list.
#include "core/device/PortText.h"
#include "gui/AppDelegate.h"

#include <QColor>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPalette>
#include <QPushButton>

#include <QCoro/QCoroTask>

#include <memory>

namespace ostrel {

namespace {

QColor runningColour() {
    return QColor::fromRgbF(115 / 255., 200 / 255., 30 / 255.);
}

QColor stoppedColour() {
    return QColor::fromRgbF(240 / 255., 115 / 255., 30 / 255.);
}

} // namespace

void AppDelegate::onStartButtonClicked() {
    if (quitting_ || session_.isBusy())
        return;
    // The flow runs on by itself; its end shows through the session's signals.
    session_.toggleServer();
}

void AppDelegate::onUSBConnectButtonClicked() {
    if (quitting_ || session_.isBusy())
        return;
    const int32_t port = askForVncPort();
    // The program may have been told to quit while the prompt was up.
    if (port == 0 || quitting_ || session_.isBusy())
        return; // cancelled, or no number given
    session_.usbConnect(port);
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

void AppDelegate::showDevices(const QStringList& items, int selected) {
    if (!deviceListComboBox)
        return;
    deviceListComboBox->clear();
    deviceListComboBox->addItems(items);
    if (selected >= 0)
        deviceListComboBox->setCurrentIndex(selected);
}

void AppDelegate::comboBoxSelectionDidChange(int index) {
    if (!deviceListComboBox || index < 0 || index >= deviceListComboBox->count())
        return;
    const QString serial = deviceListComboBox->itemText(index);
    qInfo("comboBoxSelectionDidChange: %s", qUtf8Printable(serial));
    session_.selectDevice(serial);
}

void AppDelegate::updateStatus(bool running) {
    setStartButtonTitle(running ? QStringLiteral("Stop Ostrel VNC Server")
                                : QStringLiteral("Start Ostrel VNC Server"));
    if (!statusLabel)
        return;
    QPalette palette = statusLabel->palette();
    palette.setColor(QPalette::WindowText, running ? runningColour() : stoppedColour());
    statusLabel->setPalette(palette);
    statusLabel->setText(running ? QStringLiteral("Ostrel VNC server is running")
                                 : QStringLiteral("Ostrel VNC server is stopped"));
}

void AppDelegate::setStartButtonTitle(const QString& title) {
    if (!startButton)
        return;
    startButton->setText(title);
    startButton->setAccessibleName(title);
}

} // namespace ostrel
