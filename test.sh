#!/usr/bin/env bash
# Installs what is missing, builds, runs every test through CTest, then builds
# the Debian package and checks it.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j2 "$@"
# The Debian package, built from the same tree, with its control fields checked.
./tests/packaging/check-deb.sh build
