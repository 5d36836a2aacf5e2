// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/device/ListingLines.h"

#include "core/process/OutputLineBuffer.h"

#include <cstring>
#include <limits>
#include <memory>
#include <string_view>

namespace ostrel {

namespace {

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

} // namespace

void forEachListingLine(QByteArrayView output, const std::function<void(const char*)>& onLine) {
    // The buffer is large and fixed; it lives on the heap so that deep
    // coroutine frames stay small.
    const auto buffer = std::make_unique<OutputLineBuffer>();
    const auto handOn = [&](char* line) { onLine(line); };
    buffer->assemble(std::string_view(output.data(), static_cast<std::size_t>(output.size())),
                     handOn);
    buffer->flush(handOn);
}

bool namesServer(const char* line, const QByteArray& serverPath) {
    return (!serverPath.isEmpty() && std::strstr(line, serverPath.constData()) != nullptr) ||
           std::strstr(line, "ostrelvncserver") != nullptr;
}

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

} // namespace ostrel
