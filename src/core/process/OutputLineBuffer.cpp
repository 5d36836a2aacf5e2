#include "core/process/OutputLineBuffer.h"

#include <algorithm>
#include <cstring>

namespace ostrel {

namespace {

// The later of the first CR and the first LF, so that CR LF ends one line and
// keeps its CR, while a lone CR or LF ends a line and is dropped.
char* findCut(char* text) {
    char* cr = std::strchr(text, '\r');
    char* lf = std::strchr(text, '\n');
    if (cr == nullptr)
        return lf;
    if (lf == nullptr)
        return cr;
    return std::max(cr, lf);
}

} // namespace

void OutputLineBuffer::cutLines(const LineHandler& onLine) {
    while (char* cut = findCut(text_)) {
        *cut = '\0';
        onLine(text_);
        char* rest = cut + 1;
        std::memmove(text_, rest, std::strlen(rest) + 1);
    }
    outputLineFill_ = static_cast<int32_t>(std::strlen(text_));
}

void OutputLineBuffer::assemble(std::string_view bytes, const LineHandler& onLine) {
    const std::size_t nul = bytes.find('\0');
    if (nul != std::string_view::npos)
        bytes = bytes.substr(0, nul);

    while (!bytes.empty()) {
        if (outputLineFill_ == Capacity) {
            // A line longer than the buffer: hand it on as it stands and go on.
            onLine(text_);
            outputLineFill_ = 0;
            text_[0] = '\0';
        }
        const std::size_t room = static_cast<std::size_t>(Capacity - outputLineFill_);
        const std::size_t take = std::min(room, bytes.size());
        std::memcpy(text_ + outputLineFill_, bytes.data(), take);
        outputLineFill_ += static_cast<int32_t>(take);
        text_[outputLineFill_] = '\0';
        bytes.remove_prefix(take);
        cutLines(onLine);
    }
}

} // namespace ostrel
