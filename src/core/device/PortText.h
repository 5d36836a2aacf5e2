#pragma once

#include <QString>

#include <cstdint>

namespace ostrel {

// The port a user typed: leading white space is skipped, then an optional sign
// and decimal digits are read up to the first other character. A text without
// such digits gives 0. The value saturates at the 64-bit range and the port is
// its low 32 bits, taken as signed.
int32_t portFromText(const QString& text);

} // namespace ostrel
