#!/usr/bin/env bash
# Installs what is missing, builds, and starts Ostrel Dravik.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build --target ostrel-dravik
exec ./build/src/ostrel-dravik "$@"
