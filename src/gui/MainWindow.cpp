// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/MainWindow.h"

#include "core/settings/SessionSettings.h"
#include "gui/AboutBox.h"
#include "gui/AppDelegate.h"

#include <QCloseEvent>
#include <QCursor>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QPointer>
#include <QToolTip>

namespace ostrel {

namespace {

QIcon programIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/%1x%1/ostrel-dravik.png").arg(size),
                     QSize(size, size));
    return icon;
}

// Names the adb in effect in the adb button's tooltip, asked for afresh each
// time the tooltip is about to show; the version follows when adb answers.
class AdbToolTip : public QObject {
public:
    AdbToolTip(QPushButton* button, AdbChooser& adb)
        : QObject(button), button_(button), adb_(adb), purpose_(button->toolTip()) {
        button->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == button_ && event->type() == QEvent::ToolTip)
            adb_.describeAdb([button = button_, purpose = purpose_](const QString& text) {
                show(button, purpose, text);
            });
        return false; // the button shows the tooltip itself
    }

private:
    static void show(const QPointer<QPushButton>& button, const QString& purpose,
                     const QString& text) {
        if (!button)
            return;
        const bool shownNow = QToolTip::isVisible() && QToolTip::text() == button->toolTip();
        // Plain text: a path may hold anything.
        button->setToolTip(Qt::convertFromPlainText(purpose + u'\n' + text, Qt::WhiteSpaceNormal));
        if (shownNow)
            QToolTip::showText(QCursor::pos(), button->toolTip(), button);
    }

    QPointer<QPushButton> button_;
    AdbChooser& adb_;
    QString purpose_;
};

} // namespace

MainWindow::MainWindow(AppDelegate& controller, QWidget* parent)
    : QMainWindow(parent), controller_(controller) {
    ui.setupUi(this);
    // Some platforms define no Quit key; Ctrl+Q is what their users expect.
    const QKeySequence platformQuit(QKeySequence::Quit);
    ui.actionQuit->setShortcut(platformQuit.isEmpty() ? QKeySequence(Qt::CTRL | Qt::Key_Q)
                                                      : platformQuit);
    // Where the platform names no key for its preferences, the one most
    // programs there take.
    const QKeySequence platformPreferences(QKeySequence::Preferences);
    ui.actionSettings->setShortcut(platformPreferences.isEmpty()
                                       ? QKeySequence(Qt::CTRL | Qt::Key_Comma)
                                       : platformPreferences);
    // The shortcut belongs to the window as well as to its menu, so that it
    // works however the platform shows the menu bar.
    addAction(ui.actionQuit);
    addAction(ui.actionSettings);
    addAction(ui.actionUsbDisconnect);
    addAction(ui.actionView);
    setWindowIcon(programIcon());
    restoreRememberedGeometry();
    fillOutlets();
    connectActions();
    describeForAssistiveTools();
    new AdbToolTip(ui.adbButton, controller_.adbChooser());
}

void MainWindow::fillOutlets() {
    controller_.window = this;
    controller_.startButton = ui.startButton;
    controller_.statusLabel = ui.statusLabel;
    controller_.textView = ui.textView;
    controller_.getTheApp = ui.getTheApp;
    controller_.deviceListComboBox = ui.deviceListComboBox;
    controller_.forwardsLabel = ui.forwardsLabel;
    controller_.usbDisconnectButton = ui.usbDisconnectButton;
    controller_.usbDisconnectItem = ui.actionUsbDisconnect;
    controller_.viewButton = ui.viewButton;
    controller_.viewItem = ui.actionView;
    // Help, About and Quit stay available while a flow runs.
    controller_.setActionControls(
        {ui.startButton, ui.usbConnectButton, ui.adbButton, ui.clearButton, ui.deviceListComboBox},
        {ui.actionChooseViewer}, ui.actionCheckForUpdate);
}

void MainWindow::connectActions() {
    AppDelegate* c = &controller_;
    connect(ui.startButton, &QPushButton::clicked, c, &AppDelegate::onStartButtonClicked);
    connect(ui.usbConnectButton, &QPushButton::clicked, c, &AppDelegate::onUSBConnectButtonClicked);
    connect(ui.usbDisconnectButton, &QPushButton::clicked, c,
            &AppDelegate::onUSBDisconnectButtonClicked);
    connect(ui.actionUsbDisconnect, &QAction::triggered, c,
            &AppDelegate::onUSBDisconnectButtonClicked);
    connect(ui.adbButton, &QPushButton::clicked, &c->adbChooser(), &AdbChooser::onAdbButtonClicked);
    connect(ui.viewButton, &QPushButton::clicked, c, &AppDelegate::onViewButtonClicked);
    connect(ui.actionView, &QAction::triggered, c, &AppDelegate::onViewButtonClicked);
    connect(ui.actionChooseViewer, &QAction::triggered, &c->viewerChooser(),
            &ViewerChooser::onChooseViewerMenu);
    connect(ui.actionSettings, &QAction::triggered, c, &AppDelegate::onSettingsMenu);
    connect(ui.clearButton, &QPushButton::clicked, c, &AppDelegate::onClearButtonClicked);
    connect(ui.helpButton, &QPushButton::clicked, c, &AppDelegate::onHelpButtonClicked);
    // Only a user's choice is reported, not the list being refilled.
    connect(ui.deviceListComboBox, &QComboBox::activated, c,
            &AppDelegate::comboBoxSelectionDidChange);
    connect(ui.actionHelp, &QAction::triggered, c, &AppDelegate::onHelpMenu);
    connect(ui.actionCheckForUpdate, &QAction::triggered, &c->updateOffer(),
            &UpdateOffer::onCheckForUpdateMenu);
    connect(ui.actionAbout, &QAction::triggered, this, &MainWindow::showAboutBox);
    // Connected first, so the geometry is stored before the controller quits.
    connect(ui.actionQuit, &QAction::triggered, this, &MainWindow::rememberGeometry);
    connect(ui.actionQuit, &QAction::triggered, c, &AppDelegate::onQuiteMenu);
    connect(ui.textView, &QTextBrowser::anchorClicked, c,
            [c](const QUrl& url) { c->desktop().openUrl(url); });
}

void MainWindow::describeForAssistiveTools() {
    for (QPushButton* button :
         {ui.startButton, ui.viewButton, ui.usbConnectButton, ui.usbDisconnectButton, ui.adbButton,
          ui.clearButton, ui.helpButton})
        button->setAccessibleName(button->text());
    ui.forwardsLabel->setAccessibleDescription(QStringLiteral("Forwarded ports"));
    ui.deviceListComboBox->setAccessibleDescription(QStringLiteral("Devices"));
    ui.statusLabel->setAccessibleDescription(QStringLiteral("Status"));
    ui.textView->setAccessibleDescription(QStringLiteral("Console"));
    ui.getTheApp->setAccessibleDescription(QStringLiteral("Store link"));
}

void MainWindow::showAboutBox() {
    showAbout(controller_.desktop(), this, controller_.siteUrl(), [this](QLabel* label) {
        controller_.adbChooser().describeAdb(
            [label = QPointer<QLabel>(label)](const QString& text) {
                if (label)
                    label->setText(text);
            });
    });
}

void MainWindow::restoreRememberedGeometry() {
    // Qt checks the stored bytes and keeps the window on a screen that exists.
    restoreGeometry(controller_.settings().windowGeometry());
}

void MainWindow::rememberGeometry() const {
    controller_.settings().rememberWindowGeometry(saveGeometry());
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Closing the window ends the program, the same way the Quit item does.
    // It stays open until Quit has settled adb's server: a closed last
    // window, or the application's own quit, would end the event loop that
    // the server's answer arrives through.
    rememberGeometry();
    if (controller_.readyToQuit()) {
        event->accept();
        return;
    }
    event->ignore();
    controller_.requestQuitFromWindow();
}

} // namespace ostrel
