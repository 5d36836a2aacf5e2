// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>

namespace ostrel {

// Every time limit and poll interval of the program lives in this file.

// The waits of the session's flows, so that tests can shorten them.
struct Waits {
    std::chrono::milliseconds presenceRetry{1000}; // between checks for the server executable
    std::chrono::milliseconds settle{500};         // after the executable has been found
    // Before the first process listing after a launch, doubled for the next
    // two: a server usually shows within tens of milliseconds.
    std::chrono::milliseconds serverAppearFirstPoll{20};
    std::chrono::milliseconds serverAppearPoll{250}; // between the later listings
    std::chrono::milliseconds serverAppearLimit{5000};
    std::chrono::milliseconds commandTimeout{30000};
    std::chrono::milliseconds updateTimeout{15000};
    // For adb's server to answer with its forward list: it answers at once
    // when it runs, so a longer wait only holds up the flow or Quit.
    std::chrono::milliseconds forwardList{2000};
    // For the phone's server to greet through a fresh forward.
    std::chrono::milliseconds forwardGreeting{2000};
    // For the phone's server to greet before View opens a viewer: a server
    // just started may still be binding its port.
    std::chrono::milliseconds viewGreeting{5000};
};

// Between the starts of two connection attempts while a greeting is awaited.
inline constexpr std::chrono::milliseconds GreetingRetryInterval{250};

// `adb version` answers at once; one that hangs must not keep the answer away long.
inline constexpr std::chrono::milliseconds AdbVersionTimeLimit{3000};

// How long a viewer may take to show it cannot run before it counts as started.
inline constexpr std::chrono::milliseconds ViewerTrialLimit{3000};
// The spare time the shell around a viewer's trial gets, for a machine under load.
inline constexpr std::chrono::milliseconds ViewerTrialShellSpare{5000};

// For one of the phone's buttons to be pressed through adb: it answers at
// once, and a press that comes later than this is no longer wanted.
inline constexpr std::chrono::milliseconds PhoneButtonLimit{5000};

// For the desktop's keychain to answer one request. A locked wallet may wait
// for ever on a prompt; past this the password is asked for instead.
inline constexpr std::chrono::milliseconds KeychainLimit{5000};

// The device watch's waits; tests shorten them.
struct DeviceWatchTiming {
    std::chrono::milliseconds retry{2000};       // between the starts of connection attempts
    std::chrono::milliseconds settle{500};       // a phone shows changed once away this long
    std::chrono::milliseconds lostAfter{2000};   // without a server before saying so
    std::chrono::milliseconds modelLimit{2000};  // for asking the server for models
    std::chrono::milliseconds answerLimit{2000}; // for a server's first list
};

// The least time between two device lists the watch shows.
inline constexpr std::chrono::milliseconds DeviceListShowingGap{100};

// How long `--watch` lets adb's server take to answer before it gives up.
inline constexpr std::chrono::milliseconds WatchFirstServerLimit{5000};

} // namespace ostrel
