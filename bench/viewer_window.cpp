// SPDX-License-Identifier: GPL-3.0-or-later
// The program's viewer window alone, straight on a screen server's port, for
// bench/viewer_bench.py: the window's drawing and the connection's thread
// measured without adb and without the rest of the program.
//
//     viewer_window HOST PORT [--quality Q] [--compress C]
//
// Without the levels the connection asks for the client library's own, as
// the program does.
#include "gui/viewer/ViewerWindow.h"
#include "viewer/RfbConnection.h"

#include <QApplication>
#include <QCommandLineParser>

#include <csignal>
#include <cstdio>

namespace {

// -1 where the option is absent: the library's level stays.
int levelOption(QCommandLineParser& parser, const QCommandLineOption& option) {
    if (!parser.isSet(option))
        return -1;
    bool ok = false;
    const int level = parser.value(option).toInt(&ok);
    if (!ok || level < 0 || level > 9)
        parser.showHelp(1);
    return level;
}

} // namespace

int main(int argc, char* argv[]) {
    // The window program's own rule: a vanished server must not end it.
    std::signal(SIGPIPE, SIG_IGN);
    QApplication application(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("host"), QStringLiteral("The server's host."));
    parser.addPositionalArgument(QStringLiteral("port"), QStringLiteral("The server's port."));
    const QCommandLineOption quality(QStringLiteral("quality"),
                                     QStringLiteral("Tight's JPEG quality, 0-9."),
                                     QStringLiteral("Q"));
    const QCommandLineOption compress(QStringLiteral("compress"),
                                      QStringLiteral("Tight's compression, 0-9."),
                                      QStringLiteral("C"));
    parser.addOptions({quality, compress});
    parser.process(application);
    const QStringList positional = parser.positionalArguments();
    bool portOk = false;
    const quint16 port = positional.size() == 2 ? positional[1].toUShort(&portOk) : 0;
    if (!portOk)
        parser.showHelp(1);

    ostrel::ViewerWindow window(QStringLiteral("viewer bench"), positional[0], port);
    const RfbConnection::Encoding encoding{QString(), levelOption(parser, compress),
                                           levelOption(parser, quality)};
    window.setEncoding(encoding);
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
