#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Usage: check-core-links.sh EXECUTABLE...
#
# Each EXECUTABLE is built on the core alone. The command line runs the core on
# machines without a display, so nothing built on it may need the libraries of
# one: it would not even start there.
status=0
for program in "$@"; do
    if command -v ldd >/dev/null 2>&1; then
        libraries=$(ldd "$program") || { echo "$program: its libraries cannot be listed"; exit 1; }
    else
        libraries=$(otool -L "$program") || { echo "$program: its libraries cannot be listed"; exit 1; }
    fi
    # A list without Qt Core would pass for the wrong reason.
    if ! printf '%s\n' "$libraries" | grep -Eq 'Qt6?Core'; then
        echo "$program: Qt Core is not among its libraries:"
        printf '%s\n' "$libraries"
        exit 1
    fi
    display=$(printf '%s\n' "$libraries" | grep -E 'Qt6?(Gui|Widgets|OpenGL)')
    if [ -n "$display" ]; then
        echo "$program needs a display's libraries:"
        printf '%s\n' "$display"
        status=1
    fi
done
exit $status
