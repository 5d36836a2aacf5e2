#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Usage: check-core-includes.sh SOURCE_DIR [FILE:INCLUDE...]
#
# The folders keep their order: what parses and runs adb (core/device,
# core/process, core/server, core/text) knows nothing of the session or the
# viewers built on it, and the core knows nothing of the window, the command
# line or the launcher, which are built on it. SOURCE_DIR holds core/.
#
# Each FILE:INCLUDE (FILE relative to SOURCE_DIR) is a known breach still to
# be mended; it is let through only while it is there, so that a mended one
# is struck off the list too.
source_dir=$1
shift
[ -d "$source_dir/core" ] || { echo "$source_dir/core: no such folder"; exit 1; }
cd "$source_dir" || exit 1

found=$(mktemp) || exit 1
trap 'rm -f "$found"' EXIT

# FILE:INCLUDE for every include of a folder FOLDERS may not reach.
breaches() {
    pattern=$1
    shift
    for folder in "$@"; do
        [ -d "$folder" ] || continue
        find "$folder" -type f \( -name '*.h' -o -name '*.cpp' \) | sort | while read -r file; do
            sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]\([^">]*\)[">].*/\1/p' \
                "$file" | grep -E "$pattern" | sed "s|^|$file:|"
        done
    done
}

{
    breaches '^core/(session|view)/' core/device core/process core/server core/text
    breaches '^(gui|cli|launch)/' core
} | sort -u >"$found"

status=0
while read -r breach; do
    known=0
    for allowed in "$@"; do
        [ "$breach" = "$allowed" ] && known=1
    done
    if [ $known -eq 0 ]; then
        echo "${breach%%:*} includes ${breach#*:}, against the folders' order"
        status=1
    fi
done <"$found"
for allowed in "$@"; do
    if ! grep -qxF "$allowed" "$found"; then
        echo "$allowed is mended: strike it off the known breaches"
        status=1
    fi
done
exit $status
