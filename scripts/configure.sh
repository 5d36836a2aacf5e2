#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Configures the build folder `build`; on macOS it points CMake at Homebrew's Qt.
set -euo pipefail
cd "$(dirname "$0")/.."

extra=()
if [ "$(uname -s)" = Darwin ]; then
    extra+=("-DCMAKE_PREFIX_PATH=$(brew --prefix qt)")
fi
cmake -S . -B build -G Ninja "${extra[@]}"
