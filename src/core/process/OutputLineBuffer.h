// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

namespace ostrel {

// Cuts one command's output into lines. The unfinished tail of one piece stays
// here and begins the first line of the next piece of the same command; when
// the command ends, flush() or discard() ends its output, so that nothing of
// it is ever read together with the next command's. Fixed storage: nothing is
// allocated per line or per piece.
class OutputLineBuffer {
public:
    static constexpr int32_t Capacity = 8192;
    using LineHandler = std::function<void(char* line)>;

    // Assembles `bytes` up to their first NUL and hands every finished line,
    // without the line-end byte that ended it, to `onLine`. A line that would
    // outgrow the buffer is handed on as it stands once the buffer is full.
    void assemble(std::string_view bytes, const LineHandler& onLine);
    // The command ended by itself: its unfinished last line is a line too.
    void flush(const LineHandler& onLine);
    // The command was cut off: its unfinished last line may be anything.
    void discard();

    int32_t outputLineFill() const { return outputLineFill_; }
    std::string_view pending() const { return {text_, static_cast<std::size_t>(outputLineFill_)}; }

private:
    void cutLines(const LineHandler& onLine);

    char text_[Capacity + 1] = {};
    int32_t outputLineFill_ = 0;
};

} // namespace ostrel
