#pragma once

#include <chrono>

namespace ostrel {

// Every wait of the program, so that tests can shorten them.
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

} // namespace ostrel
