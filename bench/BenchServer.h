// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the viewer benchmarks are told: HOST PORT [--quality Q] [--compress C].
// Without the levels the connection asks for the client library's own, as
// the program does.

#include "viewer/RfbConnection.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QString>

struct BenchServer {
    QString host;
    quint16 port = 0;
    RfbConnection::Encoding encoding;
};

namespace bench_detail {

// -1 where the option is absent: the library's level stays.
inline int levelOption(QCommandLineParser& parser, const QCommandLineOption& option) {
    if (!parser.isSet(option))
        return -1;
    bool ok = false;
    const int level = parser.value(option).toInt(&ok);
    if (!ok || level < 0 || level > 9)
        parser.showHelp(1);
    return level;
}

} // namespace bench_detail

// Reads the arguments; shows the usage and exits on anything else.
inline BenchServer readBenchServer(const QCoreApplication& application) {
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
    return {positional[0],
            port,
            {QString(), bench_detail::levelOption(parser, compress),
             bench_detail::levelOption(parser, quality)}};
}
