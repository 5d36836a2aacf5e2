// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui_MainWindow.h"

#include <QMainWindow>

namespace ostrel {

class AppDelegate;

// The one window: builds the controls from the form, hands them to the
// controller as its outlets and routes every action to it.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(AppDelegate& controller, QWidget* parent = nullptr);

    Ui::MainWindow ui;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void fillOutlets();
    void connectActions();
    void describeForAssistiveTools();
    void showAboutBox();
    void restoreRememberedGeometry();
    void rememberGeometry() const;

    AppDelegate& controller_;
};

} // namespace ostrel
