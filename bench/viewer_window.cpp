// SPDX-License-Identifier: GPL-3.0-or-later
// The program's viewer window alone, straight on a screen server's port, for
// bench/viewer_bench.py: the window's drawing and the connection's thread
// measured without adb and without the rest of the program.
//
//     viewer_window HOST PORT [--quality Q] [--compress C]
//
// Without the levels the connection asks for the client library's own, as
// the program does.
#include "BenchServer.h"
#include "gui/viewer/ViewerWindow.h"
#include "viewer/RfbConnection.h"

#include <QApplication>

#include <csignal>
#include <cstdio>

int main(int argc, char* argv[]) {
    // The window program's own rule: a vanished server must not end it.
    std::signal(SIGPIPE, SIG_IGN);
    QApplication application(argc, argv);
    const BenchServer server = readBenchServer(application);

    ostrel::ViewerWindow window(QStringLiteral("viewer bench"), server.host, server.port);
    window.setEncoding(server.encoding);
    QObject::connect(&window, &ostrel::ViewerWindow::connectionFailed, &application,
                     [](const QString& line) {
                         std::fprintf(stderr, "viewer_window: %s\n", qPrintable(line));
                         QCoreApplication::exit(1);
                     });
    QObject::connect(&window, &ostrel::ViewerWindow::closed, &application, &QCoreApplication::quit);
    window.show();
    window.connectToServer();
    return QApplication::exec();
}
