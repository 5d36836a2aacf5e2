#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Validates the AppStream metadata as software centres read it, and holds it
# to the program it describes: this version among its releases, the desktop
# entry it launches, the command it provides.
# Usage: check-metainfo.sh <metainfo file> <desktop entry> <version>
set -eu
metainfo=$1
desktop=$2
version=$3

fail() { echo "FAIL: $*" >&2; exit 1; }

command -v appstreamcli >/dev/null ||
    fail "appstreamcli is missing (Debian package appstream)"
# --strict: a warning fails as an error does; only pedantic hints pass.
appstreamcli validate --no-net --explain --strict "$metainfo" ||
    fail "appstreamcli rejects $metainfo"

newest=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$metainfo" | head -n 1)
[ "$newest" = "$version" ] ||
    fail "the newest release in $metainfo is '$newest', the program's version $version"
launched=$(sed -n 's/.*<launchable type="desktop-id">\(.*\)<\/launchable>.*/\1/p' "$metainfo")
[ "$launched" = "$(basename "$desktop")" ] ||
    fail "$metainfo launches '$launched', the desktop entry is $(basename "$desktop")"
grep -q '<binary>ostrel-dravik</binary>' "$metainfo" || fail "$metainfo provides no ostrel-dravik"
grep -q '<project_license>GPL-3.0-or-later</project_license>' "$metainfo" ||
    fail "$metainfo names another licence"
echo "$metainfo describes version $version"
