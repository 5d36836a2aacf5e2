// The window's side of the device flows: what starts them, and how their
// results show in the button, the status line and the device list.
#include "gui/AppDelegate.h"

#include "core/device/DeviceItems.h"

#include <QColor>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPalette>
#include <QPushButton>
#include <QStandardItemModel>

#include <QCoro/QCoroTask>

#include <algorithm>
#include <memory>

namespace ostrel {

namespace {

QColor runningColour() {
    return QColor::fromRgbF(115 / 255., 200 / 255., 30 / 255.);
}

QColor stoppedColour() {
    return QColor::fromRgbF(240 / 255., 115 / 255., 30 / 255.);
}

void disableItem(QComboBox* list, int index) {
    auto* model = qobject_cast<QStandardItemModel*>(list->model());
    if (QStandardItem* item = model ? model->item(index) : nullptr)
        item->setFlags(item->flags() & ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable));
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
    const QString entry = askForVncPort();
    // The program may have been told to quit while the prompt was up.
    if (quitting_ || session_.isBusy())
        return;
    // The session judges the entry, so that a bad one is told in the console.
    session_.usbConnectText(entry);
}

QString AppDelegate::askForVncPort() {
    auto field = std::make_unique<QLineEdit>(QStringLiteral("5901"));
    field->setMinimumWidth(100);
    const Alert prompt{QStringLiteral("Please Enter VNC Port Number"),
                       QStringLiteral("Use the same port number as displayed on device"),
                       {QStringLiteral("OK"), QStringLiteral("Cancel")},
                       field.get(),
                       field.get()};
    if (desktop_.runAlert(window, prompt) != 1)
        return {};
    return field->text();
}

// Every attached phone is listed; one that cannot be used is shown with its
// state and cannot be chosen, by mouse or keyboard. The serial travels as the
// item's data and is never read back from its text.
void AppDelegate::showDevices(const QList<ListedDevice>& devices, const QString& selected) {
    if (!deviceListComboBox)
        return;
    const DeviceItems shown = deviceItems(devices, selected);
    deviceListComboBox->clear();
    for (const DeviceItem& item : shown.items) {
        deviceListComboBox->addItem(item.text, item.serial);
        if (!item.selectable && !item.serial.isEmpty())
            disableItem(deviceListComboBox, deviceListComboBox->count() - 1);
    }
    deviceListComboBox->setCurrentIndex(shown.current);
}

void AppDelegate::comboBoxSelectionDidChange(int index) {
    if (!deviceListComboBox || index < 0 || index >= deviceListComboBox->count())
        return;
    if (quitting_ || session_.isBusy())
        return;
    const QString serial = deviceListComboBox->itemData(index).toString();
    qInfo("comboBoxSelectionDidChange: %s", qUtf8Printable(deviceListComboBox->itemText(index)));
    if (serial.isEmpty() || serial == session_.selectedDevice())
        return; // "No device", or the choice as it was
    session_.selectDevice(serial);
    if (session_.selectedDevice() != serial)
        return; // a phone that cannot be used
    keepFocusThroughFlow(deviceListComboBox);
    // The button and the status line follow the device once the probe is done.
    session_.probeSelectedDevice();
}

// The controls are disabled while a flow runs, which moves the keyboard focus
// away; the user choosing with the arrow keys expects to stay in the list.
void AppDelegate::keepFocusThroughFlow(QWidget* widget) {
    if (!widget || !widget->hasFocus())
        return;
    auto connection = std::make_shared<QMetaObject::Connection>();
    const QPointer<QWidget> focused = widget;
    *connection =
        connect(&session_, &BridgeSession::busyChanged, this, [connection, focused](bool busy) {
            if (busy)
                return;
            QObject::disconnect(*connection);
            if (focused && focused->isEnabled())
                focused->setFocus(Qt::OtherFocusReason);
        });
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
