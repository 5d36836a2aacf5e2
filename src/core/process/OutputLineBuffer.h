#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

namespace ostrel {

// Cuts adb's output into lines. The unfinished tail of one piece stays here and
// begins the first line of whatever piece comes next, from this command or the
// next one. Fixed storage: nothing is allocated per line or per piece.
class OutputLineBuffer {
public:
    static constexpr int32_t Capacity = 8192;
    using LineHandler = std::function<void(char* line)>;

    // Assembles `bytes` up to their first NUL and hands every finished line,
    // without the line-end byte that ended it, to `onLine`. A line that would
    // outgrow the buffer is handed on as it stands once the buffer is full.
    void assemble(std::string_view bytes, const LineHandler& onLine);

    int32_t outputLineFill() const { return outputLineFill_; }
    std::string_view pending() const { return {text_, static_cast<std::size_t>(outputLineFill_)}; }

private:
    void cutLines(const LineHandler& onLine);

    char text_[Capacity + 1] = {};
    int32_t outputLineFill_ = 0;
};

} // namespace ostrel
