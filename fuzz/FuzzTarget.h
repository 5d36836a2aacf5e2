// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One entry point per fuzz target, built two ways: as libFuzzer's
// LLVMFuzzerTestOneInput when the target is a fuzzer of its own, and under the
// target's name in the replay program, which holds every target at once and
// feeds each its corpus in an ordinary build (GCC or clang, sanitizers or not).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace ostrel::fuzz {

using Entry = int (*)(const uint8_t* data, std::size_t size);

// Makes `entry` known to the replay program as `name`; defined there only.
bool registerEntry(const char* name, Entry entry);

// A broken promise of the code under test: said on standard error, then an
// abort, which libFuzzer keeps as a crash and the replay test fails on.
[[noreturn]] inline void broken(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: broken: %s\n", file, line, what);
    std::abort();
}

} // namespace ostrel::fuzz

#define OSTREL_FUZZ_CHECK(condition)                                                               \
    do {                                                                                           \
        if (!(condition))                                                                          \
            ::ostrel::fuzz::broken(#condition, __FILE__, __LINE__);                                \
    } while (false)

#ifdef OSTREL_FUZZ_REPLAY
#define OSTREL_FUZZ_TARGET(name)                                                                   \
    static int fuzzOne(const uint8_t* data, std::size_t size);                                     \
    [[maybe_unused]] static const bool fuzzRegistered =                                            \
        ::ostrel::fuzz::registerEntry(#name, fuzzOne);                                             \
    static int fuzzOne(const uint8_t* data, std::size_t size)
#else
#define OSTREL_FUZZ_TARGET(name)                                                                   \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
#endif
