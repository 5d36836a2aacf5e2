#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from a finished build and checks its control
# fields, its changelog and what lintian says of it. Usage: check-deb.sh <build dir>
set -eu
build=$(cd "$1" && pwd)

fail() { echo "FAIL: $*" >&2; exit 1; }

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || fail "no project version in $build/CMakeCache.txt"

rm -f "$build"/ostrel-dravik_*.deb
(cd "$build" && cpack -G DEB >/dev/null) || fail "cpack could not build the package"
set -- "$build"/ostrel-dravik_"$version"_*.deb
[ $# -eq 1 ] && [ -f "$1" ] || fail "no ostrel-dravik_${version}_*.deb in $build"
deb=$1

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = ostrel-dravik ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"

# Depends is a comma-separated list; look at the package names alone.
names=$(field Depends | tr ',' '\n' | sed 's/^ *//; s/[ (].*//' | sed '/^$/d')
for needed in adb libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libqt6keychain1 libsecret-1-0; do
    echo "$names" | grep -qx "$needed" || fail "Depends lacks $needed: $(field Depends)"
done

contents=$(dpkg-deb -c "$deb")
echo "$contents" | grep -q ' \./usr/bin/ostrel-dravik$' || fail "package lacks usr/bin/ostrel-dravik"
for program in ostrel-dravik-cli ostrel-dravik-window; do
    echo "$contents" | grep -q " \./usr/lib/ostrel-dravik/$program\$" ||
        fail "package lacks usr/lib/ostrel-dravik/$program"
done
if echo "$contents" | grep -E 'test_|\.a$|bench'; then
    fail "package carries build-only files"
fi
# The changelog's newest entry is this version: a new version needs its entry.
changelog=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/ostrel-dravik/changelog.gz |
    gzip -dc) || fail "package lacks usr/share/doc/ostrel-dravik/changelog.gz"
newest=$(echo "$changelog" | sed -n '1s/^ostrel-dravik (\([^)]*\)).*/\1/p')
[ "$newest" = "$version" ] || fail "the changelog's newest entry is '$newest', not $version"

# lintian: no error and no warning. A warning that has to stay is overridden,
# with its reason, in a file the package installs as
# usr/share/lintian/overrides/ostrel-dravik; today none has to.
command -v lintian >/dev/null || fail "lintian is missing (Debian package lintian)"
report=$(lintian --fail-on error,warning --display-level '>=warning' "$deb" 2>&1) ||
    fail "lintian finds fault with the package:
$report"

echo "$deb:"
[ -z "$report" ] || echo "$report"
dpkg-deb -f "$deb" Package Version Architecture Depends Section Maintainer Homepage
