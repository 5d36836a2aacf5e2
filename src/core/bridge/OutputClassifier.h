#pragma once

#include "core/bridge/BridgeState.h"

#include <cstddef>
#include <cstdint>
#include <functional>

namespace ostrel {

// Receives the serial number of each device line of a device listing.
using DeviceItemSink = std::function<void(const char* serial)>;

// Records in `state` what one line of adb's standard output says under the
// current CommandMode. `line` is NUL-terminated and may be shortened in place.
void classifyOutputLine(BridgeState& state, char* line, const DeviceItemSink& addDevice);

// The same, under the name the rest of the program knows the classifier by.
inline void processOneLineFromOutputMessage(BridgeState& state, char* line,
                                            const DeviceItemSink& addDevice = {}) {
    classifyOutputLine(state, line, addDevice);
}

// Reads `words` white-space separated words (each must fit, with its NUL, into
// `scratchSize` bytes) and then a decimal integer, the way "%s %d" / "%s%s%s%d"
// would. Returns false, leaving `number` untouched, when any step fails: a word
// too long for its scratch field, a missing word, no digit, or a value outside
// the signed 32-bit range.
bool readWordsThenNumber(const char* line, int words, std::size_t scratchSize, int32_t& number);

} // namespace ostrel
