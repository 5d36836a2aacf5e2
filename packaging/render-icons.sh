#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Remakes the PNG icons from the SVG. Run it after editing the SVG and commit
# the PNGs: the build does not depend on an SVG renderer being present.
# Needs ImageMagick with SVG support (Debian: imagemagick). Plain fills only:
# some renderers draw gradients black.
set -euo pipefail
cd "$(dirname "$0")/icons"

for size in 16 32 48 64 128 256; do
    mkdir -p "hicolor/${size}x${size}"
    convert -background none -density 384 ostrel-dravik.svg \
        -resize "${size}x${size}" "PNG32:hicolor/${size}x${size}/ostrel-dravik.png"
    # A renderer without SVG support writes an empty or wrongly sized file.
    actual=$(identify -format '%wx%h' "hicolor/${size}x${size}/ostrel-dravik.png")
    [ "$actual" = "${size}x${size}" ] || { echo "bad size $actual for $size" >&2; exit 1; }
done
