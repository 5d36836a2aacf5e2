#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, runs every test through CTest, then (on
# Debian and Ubuntu) builds the Debian package and checks it.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
./scripts/configure.sh
cmake --build build
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j4 "$@"
if [ "$(uname -s)" != Darwin ]; then
    # The Debian package, built from the same tree, with its control fields checked.
    ./tests/packaging/check-deb.sh build
fi
