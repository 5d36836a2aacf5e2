#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build into a fresh prefix and checks what a desktop needs from
# the installed tree. Usage: check-install.sh <build dir> <scratch dir>
set -eu
build=$1
prefix=$2/prefix

fail() { echo "FAIL: $*" >&2; exit 1; }

command -v desktop-file-validate >/dev/null ||
    fail "desktop-file-validate is missing (Debian package desktop-file-utils)"

rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

[ -x "$prefix/bin/ostrel-dravik" ] || fail "no executable at bin/ostrel-dravik"
window="$prefix/lib/ostrel-dravik/ostrel-dravik-window"
[ -x "$window" ] || fail "no window program at lib/ostrel-dravik/ostrel-dravik-window"
cli="$prefix/lib/ostrel-dravik/ostrel-dravik-cli"
[ -x "$cli" ] || fail "no command line program at lib/ostrel-dravik/ostrel-dravik-cli"

# What people start loads no Qt; the command line no display's libraries.
if ldd "$prefix/bin/ostrel-dravik" | grep -E 'Qt6?'; then
    fail "bin/ostrel-dravik loads Qt"
fi
if ldd "$cli" | grep -E 'Qt6?(Gui|Widgets)'; then
    fail "the command line loads a display's libraries"
fi
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
[ "$("$prefix/bin/ostrel-dravik" --version)" = "$(printf 'Ostrel Dravik %s\nLicence: GPL-3.0-or-later' "$version")" ] ||
    fail "bin/ostrel-dravik --version does not reach the command line"

# Without a verb the installed program hands over to the installed window.
home="$2/home"
mkdir -p "$home"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$home" XDG_CONFIG_HOME="$home" \
    "$prefix/bin/ostrel-dravik" -platform offscreen >/dev/null 2>&1 &
pid=$!
opened=
for _ in $(seq 100); do
    if [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$(readlink -f "$window")" ]; then
        opened=yes
        break
    fi
    sleep 0.1
done
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
[ -n "$opened" ] || fail "bin/ostrel-dravik did not start the window program"

entry="$prefix/share/applications/ostrel-dravik.desktop"
[ -f "$entry" ] || fail "no desktop entry"
desktop-file-validate "$entry" || fail "desktop-file-validate rejects the desktop entry"
grep -qx 'Name=Ostrel Dravik' "$entry" || fail "desktop entry has the wrong name"
grep -qx 'Icon=ostrel-dravik' "$entry" || fail "desktop entry names another icon"
grep -qx 'Exec=ostrel-dravik' "$entry" || fail "desktop entry starts another program"

icons="$prefix/share/icons/hicolor"
[ -s "$icons/scalable/apps/ostrel-dravik.svg" ] || fail "no scalable icon"
for size in 16 32 48 64 128 256; do
    png="$icons/${size}x${size}/apps/ostrel-dravik.png"
    [ -s "$png" ] || fail "no ${size}x${size} icon"
    # A PNG's width and height are the big-endian words at bytes 16 and 20.
    dims=$(od -An -tu1 -j16 -N8 "$png" | awk '{ print $3 * 256 + $4 "x" $7 * 256 + $8 }')
    [ "$dims" = "${size}x${size}" ] || fail "${size}x${size} icon is $dims"
done

# What a desktop, a shell and man read, where each looks.
for text in share/man/man1/ostrel-dravik.1.gz share/metainfo/com.ostrel.Dravik.metainfo.xml \
    share/bash-completion/completions/ostrel-dravik share/zsh/vendor-completions/_ostrel-dravik \
    share/doc/ostrel-dravik/copyright share/doc/ostrel-dravik/changelog.gz; do
    [ -s "$prefix/$text" ] || fail "no $text"
done
gzip -dc "$prefix/share/man/man1/ostrel-dravik.1.gz" | grep -q '^\.TH OSTREL-DRAVIK 1' ||
    fail "the manual page is not the gzip-compressed page"

# Only the program and its desktop files: no tests, no library, no headers.
unexpected=$(cd "$prefix" && find . -type f | grep -v -e '^\./bin/ostrel-dravik$' \
    -e '^\./lib/ostrel-dravik/ostrel-dravik-window$' \
    -e '^\./lib/ostrel-dravik/ostrel-dravik-cli$' \
    -e '^\./share/applications/ostrel-dravik\.desktop$' \
    -e '^\./share/icons/hicolor/[0-9x]*/apps/ostrel-dravik\.png$' \
    -e '^\./share/icons/hicolor/scalable/apps/ostrel-dravik\.svg$' \
    -e '^\./share/man/man1/ostrel-dravik\.1\.gz$' \
    -e '^\./share/metainfo/com\.ostrel\.Dravik\.metainfo\.xml$' \
    -e '^\./share/bash-completion/completions/ostrel-dravik$' \
    -e '^\./share/zsh/vendor-completions/_ostrel-dravik$' \
    -e '^\./share/doc/ostrel-dravik/copyright$' \
    -e '^\./share/doc/ostrel-dravik/changelog\.gz$' || true)
[ -z "$unexpected" ] || fail "unexpected files installed: $unexpected"
echo "installed tree is complete"
