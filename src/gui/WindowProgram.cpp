#include "gui/WindowProgram.h"

#include "core/ProgramIdentity.h"
#include "core/process/ProcessRunner.h"
#include "gui/AppDelegate.h"
#include "gui/MainWindow.h"
#include "gui/QtDesktop.h"

#include <QApplication>

namespace ostrel {

int runWindowProgram(int argc, char* argv[]) {
    QApplication application(argc, argv);
    applyProgramIdentity();
    QApplication::setApplicationDisplayName(ProgramName);
    // Lets the desktop match the window to the installed entry and its icon.
    QApplication::setDesktopFileName(DesktopFileName);

    QtDesktop desktop;
    ProcessRunner runner;
    AppDelegate controller(desktop, runner);
    MainWindow window(controller);
    // The application may be told to quit without the window or the menu
    // (the Dock, logging out): that ends the program the same way.
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &controller,
                     &AppDelegate::requestQuitFromWindow);
    // The window first: the controller fills it in before its first frame and
    // leaves the rest (the update check, the network stack) until after it.
    window.show();
    controller.awakeFromNib();
    return QApplication::exec();
}

} // namespace ostrel
