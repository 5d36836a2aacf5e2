// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/process/OutputLineBuffer.h"

#include <algorithm>
#include <cstring>

namespace ostrel {

namespace {

char* find(char* from, char* end, char c) {
    return static_cast<char*>(std::memchr(from, c, static_cast<std::size_t>(end - from)));
}

// The later of the first CR and the first LF, so that CR LF ends one line and
// keeps its CR, while a lone CR or LF ends a line and is dropped.
char* laterOf(char* cr, char* lf) {
    if (cr == nullptr)
        return lf;
    if (lf == nullptr)
        return cr;
    return std::max(cr, lf);
}

} // namespace

// Each byte is looked at once: where the next CR and LF lie is kept from line
// to line, and what is left is moved to the front once, at the end.
void OutputLineBuffer::cutLines(const LineHandler& onLine) {
    char* start = text_;
    char* const end = text_ + outputLineFill_;
    char* cr = find(start, end, '\r');
    char* lf = find(start, end, '\n');
    while (char* cut = laterOf(cr, lf)) {
        *cut = '\0';
        onLine(start);
        start = cut + 1;
        if (cr != nullptr && cr < start)
            cr = find(start, end, '\r');
        if (lf != nullptr && lf < start)
            lf = find(start, end, '\n');
    }
    outputLineFill_ = static_cast<int32_t>(end - start);
    std::memmove(text_, start, static_cast<std::size_t>(outputLineFill_));
    text_[outputLineFill_] = '\0';
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

void OutputLineBuffer::flush(const LineHandler& onLine) {
    if (outputLineFill_ > 0)
        onLine(text_);
    discard();
}

void OutputLineBuffer::discard() {
    outputLineFill_ = 0;
    text_[0] = '\0';
}

} // namespace ostrel
