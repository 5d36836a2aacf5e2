#include "core/bridge/OutputClassifier.h"

#include "core/device/DeviceListing.h"

#include <cstring>
#include <limits>

namespace ostrel {

namespace {

constexpr std::size_t ProcessWordScratch = 4096;
constexpr std::size_t FileWordScratch = 32;

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

const char* skipSpace(const char* p) {
    while (*p != '\0' && isSpace(*p))
        ++p;
    return p;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// "%d": optional sign and at least one digit after white space.
bool readNumber(const char* p, int32_t& number) {
    p = skipSpace(p);
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = (*p++ == '-');
    if (!isDigit(*p))
        return false;
    int64_t value = 0;
    constexpr int64_t limit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (; isDigit(*p); ++p) {
        value = value * 10 + (*p - '0');
        if (value > limit)
            return false;
    }
    value = negative ? -value : value;
    if (value > std::numeric_limits<int32_t>::max())
        return false;
    number = static_cast<int32_t>(value);
    return true;
}

bool namesServer(const BridgeState& state, const char* line) {
    return (state.serverPath[0] != '\0' && std::strstr(line, state.serverPath) != nullptr) ||
           std::strstr(line, "./ostrelvncserver") != nullptr ||
           std::strstr(line, "ostrelvncserver") != nullptr;
}

// The listing's own reading decides; the line is cut to its serial in place.
void classifyDeviceLine(BridgeState& state, char* line, const DeviceItemSink& addDevice) {
    const std::optional<ListedDevice> device = parseDeviceLine(QByteArrayView(line));
    if (!device || !device->usable())
        return;
    ++state.deviceCount;
    *std::strchr(line, '\t') = '\0';
    if (addDevice)
        addDevice(line);
}

void classifyProcessLine(BridgeState& state, const char* line) {
    if (!namesServer(state, line))
        return;
    state.serverRunning = true;
    readWordsThenNumber(line, 1, ProcessWordScratch, state.serverPid);
}

void classifyFileLine(BridgeState& state, const char* line) {
    if (std::strstr(line, "No such file") != nullptr) {
        state.serverFileFound = false;
    } else if (namesServer(state, line)) {
        readWordsThenNumber(line, 3, FileWordScratch, state.serverFileSize);
        state.serverFileFound = true;
    } else {
        state.serverFileSize = 0;
        state.serverFileFound = false;
    }
}

} // namespace

bool readWordsThenNumber(const char* line, int words, std::size_t scratchSize, int32_t& number) {
    const char* p = line;
    for (int i = 0; i < words; ++i) {
        p = skipSpace(p);
        const char* start = p;
        while (*p != '\0' && !isSpace(*p))
            ++p;
        const auto length = static_cast<std::size_t>(p - start);
        if (length == 0 || length + 1 > scratchSize)
            return false;
    }
    return readNumber(p, number);
}

void classifyOutputLine(BridgeState& state, char* line, const DeviceItemSink& addDevice) {
    switch (state.CommandMode) {
    case Mode::DeviceList:
        classifyDeviceLine(state, line, addDevice);
        break;
    case Mode::ServerProcess:
        classifyProcessLine(state, line);
        break;
    case Mode::ServerFile:
        classifyFileLine(state, line);
        break;
    case Mode::Forward:
        state.forwardEstablished = (line[0] == '\0');
        break;
    default:
        break;
    }
}

} // namespace ostrel
