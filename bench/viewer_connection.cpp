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
#include "viewer/RfbConnection.h"

#include <QCommandLineParser>
#include <QCoreApplication>

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
    // As in the window program: a vanished server must not end it.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication application(argc, argv);
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

    RfbConnection connection(positional[0], port);
    connection.setEncoding(
        {QString(), levelOption(parser, compress), levelOption(parser, quality)});
    QObject::connect(&connection, &RfbConnection::ended, &application,
                     [](RfbConnection::EndReason, const QString& text) {
                         std::fprintf(stderr, "viewer_connection: %s\n", qPrintable(text));
                         QCoreApplication::exit(1);
                     });
    connection.open();
    return QCoreApplication::exec();
}
