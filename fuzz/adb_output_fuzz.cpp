// adb's standard output as the runner reads it: arbitrary bytes, in arbitrary
// pieces, through line assembly and the classifier in every mode. Nothing may
// be read or written out of bounds, nothing of one command may be left for
// the next, and only device lines may reach the device list.
//
// The first byte picks the mode, the second the piece size and how the
// command ends; the rest is the output.
#include "FuzzTarget.h"

#include "core/bridge/OutputClassifier.h"
#include "core/process/OutputLineBuffer.h"

#include <cstring>
#include <string_view>

OSTREL_FUZZ_TARGET(adb_output) {
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
        OSTREL_FUZZ_CHECK(std::strlen(line) <= ostrel::OutputLineBuffer::Capacity);
        ostrel::classifyOutputLine(state, line, [&](const char* serial) {
            OSTREL_FUZZ_CHECK(serial != nullptr);
            ++devices;
        });
    };
    std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
    while (!rest.empty()) {
        const std::string_view piece = rest.substr(0, pieceSize);
        rest.remove_prefix(piece.size());
        buffer.assemble(piece, classify);
    }
    if (data[1] & 2)
        buffer.flush(classify);
    else
        buffer.discard();
    OSTREL_FUZZ_CHECK(buffer.outputLineFill() == 0);
    OSTREL_FUZZ_CHECK(devices == static_cast<std::size_t>(state.deviceCount));
    OSTREL_FUZZ_CHECK(std::memchr(state.serverPath, '\0', sizeof state.serverPath) != nullptr);
    OSTREL_FUZZ_CHECK(std::memchr(state.serverPackage, '\0', sizeof state.serverPackage) !=
                      nullptr);
    return 0;
}
