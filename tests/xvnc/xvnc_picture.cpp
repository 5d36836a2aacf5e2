// SPDX-License-Identifier: GPL-3.0-or-later
// Covers the whole X display with the test picture, so that a screen server
// on that display has a known picture to send. Run with QT_QPA_PLATFORM=xcb;
// it ends when its standard input closes or the display goes away.
#include "xvnc/TestPicture.h"

#include <QGuiApplication>
#include <QPainter>
#include <QRasterWindow>
#include <QScreen>
#include <QSocketNotifier>

#include <unistd.h>

namespace {

class PictureWindow : public QRasterWindow {
protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.drawImage(0, 0, ostrel::test::xvncTestPicture(size()));
    }
};

} // namespace

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    PictureWindow window;
    window.setFlags(Qt::FramelessWindowHint);
    window.setGeometry(window.screen()->geometry());
    window.show();
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &application, [&] {
        char byte = 0;
        if (::read(STDIN_FILENO, &byte, 1) <= 0)
            application.quit();
    });
    return application.exec();
}
