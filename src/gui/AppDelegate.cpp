// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/AppDelegate.h"

#include "core/PlatformTexts.h"
#include "core/ProgramIdentity.h"
#include "core/device/DeviceItems.h"
#include "core/settings/ViewPlace.h"
#include "core/view/ViewerLauncher.h"
#include "gui/FirstFrame.h"
#include "gui/LinkField.h"
#include "gui/SettingsDialog.h"

#include <QAction>
#include <QColor>
#include <QComboBox>
#include <QCoro/QCoroTask>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPalette>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTextBrowser>
#include <QWidget>
#include <algorithm>
#include <memory>

namespace ostrel {

namespace {

QStringList instructionTexts() {
    using namespace Qt::Literals::StringLiterals;
    return {
        u"Instructions:\r\n\r\n"_s,
        u"(1) Enable USB debugging on your android device by going to:\r\n"_s,
        u"    Settings > Developer options > USB debugging, or\r\n"_s,
        u"    Settings > Applications > Development > USB debugging\r\n"_s,
        u"if you don't see Developers option, go to Settings > About phone > Build number, then "
        "tap multiple times to bring up Developer options.\r\n"_s,
        u"(2) Connect your android device to this PC with USB cable.\r\n"_s,
        u"(3) Click the above Start Ostrel VNC Server button.\r\n"_s,
        u"(4) Make sure set a password if you want to use %1. Click Menu button on device then "
        "tap Settings to see options for the vnc server.\r\n"_s.arg(builtInViewer()),
        u"\r\n"_s,
    };
}

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

AppDelegate::AppDelegate(Desktop& desktop, CommandRunner& runner, SessionSettings& settings,
                         QString launcherFolder, ViewerTrials& viewers,
                         SessionEnvironment environment, QUrl siteUrl, Waits waits, QObject* parent)
    : QObject(parent), desktop_(desktop), settings_(settings), siteUrl_(std::move(siteUrl)),
      adbChooser_(windowContext(), runner, settings, std::move(launcherFolder)),
      keychain_(ProgramName),
      session_(runner, settings, adbChooser_.lookup(), std::move(environment), waits),
      updateOffer_(windowContext(), siteUrl_, waits.updateTimeout),
      viewerChooser_(windowContext(), settings),
      viewers_(std::make_unique<ViewerLauncher>(viewers)) {
    viewerWindows_.runAdbWith(runner, adbChooser_.lookup());
    viewerWindows_.rememberPasswordsIn(keychain_);
    connect(&updateOffer_, &UpdateOffer::menuCheckRunningChanged, this,
            &AppDelegate::refreshControls);
    connect(&session_, &BridgeSession::consoleText, this,
            [this](const QString& text) { appendStringToTextView(text); });
    connect(&session_, &BridgeSession::consoleLink, this,
            [this](const QString& description, const QUrl& url) {
                setHyperlinkWithTextView(textView, description, url.toString());
            });
    connect(&session_, &BridgeSession::devicesListed, this, &AppDelegate::showDevices);
    connect(&session_, &BridgeSession::serverStateChanged, this, &AppDelegate::updateStatus);
    connect(&session_, &BridgeSession::forwardedPortsChanged, this,
            &AppDelegate::showForwardedPorts);
    connect(&session_, &BridgeSession::busyChanged, this, [this](bool busy) {
        refreshControls();
        if (!busy)
            updateOffer_.showHeldBackOffer();
    });
}

// The pieces ask the controller, never the session, whether the window takes
// an action now: the rule is kept here alone.
WindowContext AppDelegate::windowContext() {
    return WindowContext{desktop_, window, [this] { return idle(); }, [this] { return quitting_; }};
}

AppDelegate::~AppDelegate() {
    // Waiting flows resume now, while everything they touch still exists.
    endAtOnce();
}

void AppDelegate::endAtOnce() {
    quitting_ = true;
    ended_ = true;
    viewerWindows_.closeAll();
    updateOffer_.cancel();
    session_.stopWatching();
    session_.cancel();
    session_.abandonAdbServerQuestion();
}

void AppDelegate::setActionControls(const QList<QWidget*>& widgets, const QList<QAction*>& actions,
                                    QAction* checkForUpdate) {
    actionWidgets_.clear();
    actionItems_.clear();
    for (QWidget* widget : widgets)
        actionWidgets_.append(widget);
    for (QAction* action : actions)
        actionItems_.append(action);
    checkForUpdateItem_ = checkForUpdate;
    refreshControls();
}

void AppDelegate::awakeFromNib() {
    if (statusLabel)
        statusLabel->setText(QString());
    for (const QString& text : instructionTexts())
        appendStringToTextView(text);
    appendStringToTextView(adbChooser_.lookup().searchNote());
    setHyperlinkWithTextField(getTheApp, siteUrl_, desktop_);
    // The list shows the phones of a server that already runs; none is
    // started for it.
    session_.startWatching();
    // Nothing but the window comes before its first frame: the network stack
    // is loaded by the check's first request.
    if (window)
        runAfterFirstFrame(window, this, [this] { updateOffer_.startBackgroundUpdateCheck(); });
    else
        updateOffer_.startBackgroundUpdateCheck();
}

void AppDelegate::onHelpButtonClicked() {
    desktop_.openUrl(helpPageUrl(siteUrl_));
}

void AppDelegate::onHelpMenu() {
    onHelpButtonClicked();
}

void AppDelegate::onClearButtonClicked() {
    if (!textView || session_.isBusy())
        return;
    textView->clear();
    session_.consoleCleared();
}

// Every way of ending the program comes here, and only the first one acts:
// the running command is stopped, its flow says nothing more, and adb's
// server is stopped once, unless it holds a forward, anyone's. The program
// ends as soon as the server has answered, or its time to answer is up.
void AppDelegate::onQuiteMenu() {
    if (quitting_)
        return;
    quitting_ = true;
    // Closed at once: each ends its own connection, within Quit's time.
    viewerWindows_.closeAll();
    updateOffer_.cancel();
    // Stopped first, so that it neither reports nor reaches for the server
    // that Quit may be stopping.
    session_.stopWatching();
    session_.cancel();
    refreshControls();
    quitOnceAdbIsSettled();
}

QCoro::Task<void> AppDelegate::quitOnceAdbIsSettled() {
    co_await session_.stopAdbServerUnlessForwarding();
    if (ended_)
        co_return;
    readyToQuit_ = true;
    desktop_.quitApplication();
}

void AppDelegate::requestQuitFromWindow() {
    onQuiteMenu();
}

bool AppDelegate::idle() const {
    return !session_.isBusy() && !quitting_;
}

void AppDelegate::refreshControls() {
    const bool idle = this->idle();
    for (const auto& widget : std::as_const(actionWidgets_)) {
        if (widget)
            widget->setEnabled(idle);
    }
    for (const auto& action : std::as_const(actionItems_)) {
        if (action)
            action->setEnabled(idle);
    }
    if (checkForUpdateItem_)
        checkForUpdateItem_->setEnabled(idle && !updateOffer_.menuCheckRunning());
    const bool disconnectable = usbDisconnectAvailable();
    if (usbDisconnectButton)
        usbDisconnectButton->setEnabled(disconnectable);
    if (usbDisconnectItem)
        usbDisconnectItem->setEnabled(disconnectable);
    // View forwards and frees nothing another phone holds: the same rule.
    if (viewButton)
        viewButton->setEnabled(disconnectable);
    if (viewItem)
        viewItem->setEnabled(disconnectable);
}

bool AppDelegate::usbDisconnectAvailable() const {
    if (!idle())
        return false;
    // A followed list is the truth: with no usable phone there is nothing to
    // free. An unfollowed one may be stale, so the flow lists anew.
    const QList<ListedDevice>& listed = session_.listedDevices();
    return !session_.followsDevices() ||
           std::any_of(listed.begin(), listed.end(),
                       [](const ListedDevice& device) { return device.usable(); });
}

void AppDelegate::appendStringToTextView(const QString& text) {
    appendAttributedStringToTextView(Hyperlink::normalTextFromString(text));
}

void AppDelegate::appendAttributedStringToTextView(const AttributedString& text) {
    console_.append(textView, text);
}

void AppDelegate::setHyperlinkWithTextView(QTextBrowser* view, const QString& description,
                                           const QString& url) {
    if (view != textView)
        return;
    appendAttributedStringToTextView(Hyperlink::hyperlinkFromString(description, QUrl(url)));
    appendAttributedStringToTextView(Hyperlink::normalTextFromString(QStringLiteral("\r\n")));
}

// The window's side of the device flows: what starts them, and how their
// results show in the button, the status line and the device list.

void AppDelegate::onStartButtonClicked() {
    if (!idle())
        return;
    // The flow runs on by itself; its end shows through the session's signals.
    session_.toggleServer();
}

void AppDelegate::onUSBConnectButtonClicked() {
    if (!idle())
        return;
    const QString entry = askForVncPort();
    // The program may have been told to quit while the prompt was up.
    if (!idle())
        return;
    // The session judges the entry, so that a bad one is told in the console.
    session_.usbConnectText(entry);
}

void AppDelegate::onUSBDisconnectButtonClicked() {
    if (quitting_ || !usbDisconnectAvailable())
        return;
    session_.usbDisconnect();
}

// Beside the status line, whose texts speak of the server alone.
void AppDelegate::showForwardedPorts(const QList<TcpPort>& ports) {
    if (!forwardsLabel)
        return;
    forwardsLabel->setText(
        ports.isEmpty() ? QString() : QStringLiteral("Forwarded: %1").arg(localPortsText(ports)));
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
    // Whether USB Disconnect has a phone to act on may have changed.
    refreshControls();
    if (!deviceListComboBox)
        return;
    const DeviceItems shown = deviceItems(devices, selected, session_.deviceModels());
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
    if (!idle())
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

// Showing a phone's screen: the window asks for the phone's port the first
// time, and the session does the rest.

void AppDelegate::onViewButtonClicked() {
    if (quitting_ || !usbDisconnectAvailable())
        return;
    // A phone seen for the first time is asked about as USB Connect asks,
    // once the flow knows which phone it is; the answer is remembered for it.
    VncPortQuestion ask = [this](const QString&) { return askForVncPort(); };
    if (viewPlaceOf(settings_) == ViewPlace::ThisProgram)
        session_.view(std::nullopt, viewerWindows_, std::move(ask));
    else
        session_.view(std::nullopt, *viewers_, viewerChooser_.chosenViewer(), std::move(ask));
}

void AppDelegate::onSettingsMenu() {
    if (quitting_ || !window)
        return;
    if (!settingsDialog_)
        settingsDialog_ = new SettingsDialog(windowContext(), settings_, window);
    settingsDialog_->showSettings();
}

} // namespace ostrel
