#pragma once

#include <cstdint>

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

// What one command's output says, as the classifier reads it line by line.
// Each command's output is read into a state of its own (see CommandOutput.h),
// so that the result of a step comes back from the step.
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

// Modes 2, 3 and 4 keep their output out of the console.
inline bool isEchoed(int32_t mode) {
    return mode != Mode::ServerProcess && mode != Mode::ServerFile && mode != Mode::Quiet;
}

} // namespace ostrel
