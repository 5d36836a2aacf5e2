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

    ostrel::QtDesktop desktop;
    ostrel::AppDelegate controller(desktop);
    ostrel::MainWindow window(controller);
    window.show();
    controller.awakeFromNib();
    return QApplication::exec();
}
