// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstddef>
#include <cstdint>
#include <functional>

namespace ostrel {

// Hands each line of a finished command's output to `onLine`, cut the way the
// runner's line assembly cuts them (up to the first NUL; the last line counts
// without its end). The line is NUL-terminated.
void forEachListingLine(QByteArrayView output, const std::function<void(const char*)>& onLine);

// A line of a listing names the server when it holds `serverPath` (when one is
// given) or the executable's name.
bool namesServer(const char* line, const QByteArray& serverPath);

// Reads `words` white-space separated words (each must fit, with its NUL, into
// `scratchSize` bytes) and then a decimal integer, the way "%s %d" / "%s%s%s%d"
// would. Returns false, leaving `number` untouched, when any step fails: a word
// too long for its scratch field, a missing word, no digit, or a value outside
// the signed 32-bit range.
bool readWordsThenNumber(const char* line, int words, std::size_t scratchSize, int32_t& number);

} // namespace ostrel
