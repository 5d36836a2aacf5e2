// SPDX-License-Identifier: GPL-3.0-or-later
// The least a command line built on Qt can cost: Qt Core and Qt Network
// loaded, an application object, a parser and one help text printed. The
// program's `--help` is timed against it by hand:
//
//     cmake --build build --target cli_floor_bench
//     /usr/bin/time -f %e build/bench/cli_floor_bench --help
//     /usr/bin/time -f %e build/src/ostrel-dravik --help
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QNetworkAccessManager>

#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    // Names a type of the network library, so that the linker keeps it.
    std::printf("%s\n", QNetworkAccessManager::staticMetaObject.className());
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A floor to time command lines against."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.process(application);
    return 0;
}
