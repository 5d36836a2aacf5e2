#include "app/AppDelegate.h"
#include "app/MainWindow.h"
#include "app/QtDesktop.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Ostrel"));
    QApplication::setApplicationName(QStringLiteral("Ostrel Dravik"));
    QApplication::setApplicationDisplayName(QStringLiteral("Ostrel Dravik"));
    QApplication::setApplicationVersion(QStringLiteral(OSTREL_VERSION));
    // Lets the desktop match the window to the installed entry and its icon.
    QApplication::setDesktopFileName(QStringLiteral("ostrel-dravik"));

    ostrel::QtDesktop desktop;
    ostrel::AppDelegate controller(desktop);
    ostrel::MainWindow window(controller);
    window.show();
    controller.awakeFromNib();
    return QApplication::exec();
}
