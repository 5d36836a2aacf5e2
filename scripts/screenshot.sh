#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Photographs the real window on a virtual X display, with a throwaway home so
# that no user settings show up in the picture.
# Usage: scripts/screenshot.sh [output.png] [program]
# Defaults: docs/screenshot.png, and the program in build/, built when needed.
set -euo pipefail
cd "$(dirname "$0")/.."

output=$(realpath -m "${1:-docs/screenshot.png}")
program=${2:-}
if [ -z "$program" ]; then
    cmake -S . -B build -G Ninja >/dev/null
    cmake --build build --target ostrel-dravik
    program=$PWD/build/src/ostrel-dravik
fi
command -v xvfb-run >/dev/null || { echo "xvfb-run is missing (Debian package xvfb)" >&2; exit 1; }
command -v import >/dev/null || { echo "import is missing (Debian package imagemagick)" >&2; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -m 700 "$scratch/home" "$scratch/runtime"
mkdir -p "$(dirname "$output")"

# Runs inside the virtual display: start the program, wait until something
# is drawn on the empty screen, give it time to paint and its device list
# time to say that no adb server answers (2 seconds), then photograph the
# screen and cut away the empty background around the window.
capture() {
    local program=$1 output=$2
    "$program" &
    local pid=$!
    local tries=0
    import -window root "$output.screen.png"
    until [ "$(identify -format %k "$output.screen.png")" -gt 1 ]; do
        tries=$((tries + 1))
        if [ $tries -gt 60 ] || ! kill -0 $pid 2>/dev/null; then
            echo "the window did not appear" >&2
            kill $pid 2>/dev/null || true
            return 1
        fi
        sleep 0.5
        import -window root "$output.screen.png"
    done
    sleep 3
    import -window root "$output.screen.png"
    convert "$output.screen.png" -trim +repage "$output"
    rm -f "$output.screen.png"
    kill $pid
    wait $pid 2>/dev/null || true
}

env -i PATH="$PATH" HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/runtime" LANG=C.UTF-8 \
    xvfb-run -a -s "-screen 0 1024x768x24" bash -c "$(declare -f capture); capture \"\$@\"" capture "$program" "$output"
echo "wrote $output"
