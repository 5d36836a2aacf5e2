// SPDX-License-Identifier: GPL-3.0-or-later
// A bare window with the same widgets, from the same form and the same
// libraries, and no program behind it: the floor the program's start-up is
// measured against by bench/startup_frames.py.
#include "FirstFrameStamp.h"
#include "ui_MainWindow.h"

#include <QApplication>
#include <QMainWindow>

Q_COREAPP_STARTUP_FUNCTION(installFirstFrameStamp)

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QMainWindow window;
    Ui::MainWindow ui;
    ui.setupUi(&window);
    window.show();
    return QApplication::exec();
}
