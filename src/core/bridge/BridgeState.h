#pragma once

#include <cstdint>
#include <cstring>

namespace ostrel {

// How the classifier reads each output line, and whether the runner echoes it.
namespace Mode {
constexpr int32_t Idle = -1;
constexpr int32_t DeviceList = 1;
constexpr int32_t ServerProcess = 2;
constexpr int32_t ServerFile = 3;
constexpr int32_t Quiet = 4;
constexpr int32_t Forward = 6;
} // namespace Mode

// What the last adb commands told us about the device. One instance lives in the
// controller; operations prepare fields, run a command, then read what the
// classifier recorded while the output went past.
struct BridgeState {
    int32_t CommandMode = Mode::Idle;
    int32_t deviceCount = 0;
    char serverPath[264] = {};
    int32_t serverPid = 0;
    char serverPackage[256] = {};
    bool serverFileFound = false;
    int32_t serverFileSize = 0;
    bool serverUnsupported = false;
    bool serverRunning = false;
    bool forwardEstablished = false;
    bool devicesListed = false;
};

// What the program knows about one device's server. The session keeps one per
// device; BridgeState holds the selected device's while the flows work on it.
struct ServerKnowledge {
    char serverPath[264] = {};
    char serverPackage[256] = {};
    int32_t serverFileSize = 0;
    bool serverUnsupported = false;
    bool serverRunning = false;
    int32_t serverPid = 0;
};

inline ServerKnowledge serverKnowledgeOf(const BridgeState& state) {
    ServerKnowledge known;
    std::memcpy(known.serverPath, state.serverPath, sizeof known.serverPath);
    std::memcpy(known.serverPackage, state.serverPackage, sizeof known.serverPackage);
    known.serverFileSize = state.serverFileSize;
    known.serverUnsupported = state.serverUnsupported;
    known.serverRunning = state.serverRunning;
    known.serverPid = state.serverPid;
    return known;
}

inline void restoreServerKnowledge(BridgeState& state, const ServerKnowledge& known) {
    std::memcpy(state.serverPath, known.serverPath, sizeof state.serverPath);
    std::memcpy(state.serverPackage, known.serverPackage, sizeof state.serverPackage);
    state.serverFileSize = known.serverFileSize;
    state.serverUnsupported = known.serverUnsupported;
    state.serverRunning = known.serverRunning;
    state.serverPid = known.serverPid;
}

// Modes 2, 3 and 4 keep their output out of the console.
inline bool isEchoed(int32_t mode) {
    return mode != Mode::ServerProcess && mode != Mode::ServerFile && mode != Mode::Quiet;
}

} // namespace ostrel
