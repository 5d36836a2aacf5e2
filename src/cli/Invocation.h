#pragma once

#include <QString>
#include <QStringList>

namespace ostrel::cli {

// The exit statuses scripts read.
enum ExitStatus : int { StateReached = 0, StateNotReached = 1, UsageError = 2 };

// What the command line was asked to do.
struct Invocation {
    enum class Verb { Devices, Start, Stop, Forward };

    Verb verb = Verb::Devices;
    int port = 0;    // --forward's VNC port
    QString serial;  // empty: the one attached device
    QString adbPath; // empty: the adb the window would run
};

// The verdict on the arguments: run an invocation, or print `text` and leave.
struct ParsedArguments {
    enum class Outcome { Run, Help, Version, Usage };

    Outcome outcome = Outcome::Usage;
    Invocation invocation;
    QString text; // the help, the version line, or the usage error with its hint
};

// True when the arguments name one of the verbs, -h included.
bool namesVerb(const QStringList& arguments);

// `arguments` as QCoreApplication::arguments() gives them, program first.
ParsedArguments parseArguments(const QStringList& arguments);

// A port as scripts must write it: decimal digits only, 1 to 65535.
bool parsePort(const QString& text, int* port);

} // namespace ostrel::cli
