// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's connection with nothing drawn, for bench/viewer_bench.py: what
// the client library's decoding and the copy into the GUI's image cost on
// their own, so that the window's figure can be split into receiving and
// painting.
//
//     viewer_connection HOST PORT [--quality Q] [--compress C]
//
// Without the levels the connection asks for the client library's own, as
// the program does.
#include "BenchServer.h"
#include "viewer/RfbConnection.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

int main(int argc, char* argv[]) {
    // As in the window program: a vanished server must not end it.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication application(argc, argv);
    const BenchServer server = readBenchServer(application);

    RfbConnection connection(server.host, server.port);
    connection.setEncoding(server.encoding);
    QObject::connect(&connection, &RfbConnection::ended, &application,
                     [](RfbConnection::EndReason, const QString& text) {
                         std::fprintf(stderr, "viewer_connection: %s\n", qPrintable(text));
                         QCoreApplication::exit(1);
                     });
    connection.open();
    return QCoreApplication::exec();
}
