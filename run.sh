#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and starts Ostrel Dravik.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
./scripts/configure.sh
cmake --build build --target ostrel-dravik
if [ "$(uname -s)" = Darwin ]; then
    exec "./build/src/Ostrel Dravik.app/Contents/MacOS/Ostrel Dravik" "$@"
fi
exec ./build/src/ostrel-dravik "$@"
