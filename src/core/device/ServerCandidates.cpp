// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/device/ServerCandidates.h"

#include <algorithm>
#include <iterator>

namespace ostrel {

namespace {

constexpr int32_t RetiredServerSizes[] = {432848, 362932, 363196, 599519, 615492, 498532,
                                          420404, 420556, 420572, 723997, 734867, 774427};

} // namespace

bool isRetiredServerSize(int32_t size) {
    return std::find(std::begin(RetiredServerSizes), std::end(RetiredServerSizes), size) !=
           std::end(RetiredServerSizes);
}

} // namespace ostrel
