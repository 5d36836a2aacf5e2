// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/device/TcpPort.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace ostrel::cli {

// The exit statuses scripts read.
enum ExitStatus : int { StateReached = 0, StateNotReached = 1, UsageError = 2 };

// What the command line was asked to do.
struct Invocation {
    QString verb;                // its name, without the dashes (cli/VerbRegistry.h)
    std::optional<TcpPort> port; // a verb's PORT, or --port
    QString serial;              // empty: the one attached device
    QString adbPath;             // empty: the adb the window would run
};

// The verdict on the arguments: run an invocation, open the window, or print
// `text` and leave.
struct ParsedArguments {
    enum class Outcome { Run, Window, Help, Version, Usage };

    Outcome outcome = Outcome::Usage;
    Invocation invocation;
    QString text;               // the help, the version line, or the usage error with its hint
    bool platformNamed = false; // Window, or a verb that needs a display: Qt's -platform was given
};

// `arguments` as QCoreApplication::arguments() gives them, program first.
// Without a verb, the arguments are the window's when each is one of Qt's own
// options (with its value); anything else is a usage error.
ParsedArguments parseArguments(const QStringList& arguments);

} // namespace ostrel::cli
