#include "app/MainWindow.h"

#include "app/AppDelegate.h"

#include <QCloseEvent>
#include <QKeySequence>

namespace ostrel {

MainWindow::MainWindow(AppDelegate& controller, QWidget* parent)
    : QMainWindow(parent), controller_(controller) {
    ui.setupUi(this);
    ui.actionQuit->setShortcut(QKeySequence::Quit);
    fillOutlets();
    connectActions();
    describeForAssistiveTools();
}

void MainWindow::fillOutlets() {
    controller_.window = this;
    controller_.startButton = ui.startButton;
    controller_.statusLabel = ui.statusLabel;
    controller_.textView = ui.textView;
    controller_.getTheApp = ui.getTheApp;
    controller_.deviceListComboBox = ui.deviceListComboBox;
    controller_.setActionControls({ui.startButton, ui.usbConnectButton, ui.adbButton,
                                   ui.clearButton, ui.helpButton, ui.deviceListComboBox},
                                  {ui.actionHelp, ui.actionCheckForUpdate, ui.actionQuit});
}

void MainWindow::connectActions() {
    AppDelegate* c = &controller_;
    connect(ui.startButton, &QPushButton::clicked, c, &AppDelegate::onStartButtonClicked);
    connect(ui.usbConnectButton, &QPushButton::clicked, c, &AppDelegate::onUSBConnectButtonClicked);
    connect(ui.adbButton, &QPushButton::clicked, c, &AppDelegate::onAdbButtonClicked);
    connect(ui.clearButton, &QPushButton::clicked, c, &AppDelegate::onClearButtonClicked);
    connect(ui.helpButton, &QPushButton::clicked, c, &AppDelegate::onHelpButtonClicked);
    // Only a user's choice is reported, not the list being refilled.
    connect(ui.deviceListComboBox, &QComboBox::activated, c,
            &AppDelegate::comboBoxSelectionDidChange);
    connect(ui.actionHelp, &QAction::triggered, c, &AppDelegate::onHelpMenu);
    connect(ui.actionCheckForUpdate, &QAction::triggered, c, &AppDelegate::onCheckForUpdateMenu);
    connect(ui.actionQuit, &QAction::triggered, c, &AppDelegate::onQuiteMenu);
    connect(ui.textView, &QTextBrowser::anchorClicked, c,
            [c](const QUrl& url) { c->desktop().openUrl(url); });
}

void MainWindow::describeForAssistiveTools() {
    for (QPushButton* button :
         {ui.startButton, ui.usbConnectButton, ui.adbButton, ui.clearButton, ui.helpButton})
        button->setAccessibleName(button->text());
    ui.deviceListComboBox->setAccessibleDescription(QStringLiteral("Devices"));
    ui.statusLabel->setAccessibleDescription(QStringLiteral("Status"));
    ui.textView->setAccessibleDescription(QStringLiteral("Console"));
    ui.getTheApp->setAccessibleDescription(QStringLiteral("Store link"));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Closing the window ends the program, the same way the Quit item does.
    event->accept();
    controller_.requestQuitFromWindow();
}

} // namespace ostrel
