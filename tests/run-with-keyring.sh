#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Usage: run-with-keyring.sh TEST [ARGUMENT...]
#
# Runs TEST on a session bus of its own with a fresh, unlocked Secret Service
# keyring in a temporary home, so that it never sees the user's own keyring.
# Where that cannot be had, TEST runs anyway and is told why, so that it can
# skip with the reason.
set -u
if ! command -v dbus-run-session >/dev/null 2>&1; then
    OSTREL_KEYRING_MISSING="dbus-run-session is not installed" exec "$@"
fi
if ! command -v gnome-keyring-daemon >/dev/null 2>&1; then
    OSTREL_KEYRING_MISSING="gnome-keyring-daemon is not installed" exec "$@"
fi
home=$(mktemp -d) || exit 1
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/data" "$home/runtime" && chmod 700 "$home/runtime"
HOME="$home" XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/runtime" \
    dbus-run-session -- sh -c '
        # The keyring is created with, and unlocked by, the password on stdin.
        if printf "test" | gnome-keyring-daemon --unlock --components=secrets >/dev/null; then
            OSTREL_KEYRING_READY=1 "$@"
        else
            OSTREL_KEYRING_MISSING="gnome-keyring-daemon did not start" "$@"
        fi' sh "$@"
