// Feeds arbitrary adb output, in arbitrary pieces, through line assembly and
// the classifier in every mode: nothing may be read or written out of bounds.
#include "core/bridge/OutputClassifier.h"
#include "core/process/OutputLineBuffer.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    static constexpr int32_t Modes[] = {-1, 1, 2, 3, 4, 6};
    ostrel::BridgeState state;
    state.CommandMode = Modes[data[0] % 6];
    if (data[1] & 1)
        std::strcpy(state.serverPath, "/data/data/com.ostrel.vncserver/files/ostrelvncserver");
    const std::size_t pieceSize = 1 + data[1] % 64u * 97u;
    ostrel::OutputLineBuffer buffer;
    std::size_t devices = 0;
    const auto classify = [&](char* line) {
        ostrel::classifyOutputLine(state, line, [&](const char*) { ++devices; });
    };
    std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
    while (!rest.empty()) {
        const std::string_view piece = rest.substr(0, pieceSize);
        rest.remove_prefix(piece.size());
        buffer.assemble(piece, classify);
    }
    // The command ends, by itself or cut off; nothing may be left for the next.
    if (data[1] & 2)
        buffer.flush(classify);
    else
        buffer.discard();
    if (buffer.outputLineFill() != 0)
        __builtin_trap();
    // Every counted device line reached the device list, and nothing else did.
    if (devices != static_cast<std::size_t>(state.deviceCount))
        __builtin_trap();
    return 0;
}
