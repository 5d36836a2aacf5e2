#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what building, running and testing need, when it is missing.
# Debian 12 or Ubuntu (apt-get, as root or with sudo), or macOS (Homebrew).
# With --clang also clang 14 and its sanitizer and libFuzzer runtimes, for the
# second compiler's build and the fuzz targets (Debian and Ubuntu only).
set -euo pipefail

with_clang=false
for argument in "$@"; do
    case "$argument" in
        --clang) with_clang=true ;;
        *) echo "usage: $0 [--clang]" >&2; exit 2 ;;
    esac
done

if [ "$(uname -s)" = Darwin ]; then
    if ! command -v brew >/dev/null; then
        echo "Homebrew is needed on macOS: see https://brew.sh" >&2
        exit 1
    fi
    # QCoro has no Homebrew formula; the build fetches a pinned release of it.
    # Homebrew has no Xvnc either: the tests against a real screen server skip.
    for formula in qt cmake ninja pkg-config libvncserver qtkeychain; do
        brew list --formula "$formula" >/dev/null 2>&1 || brew install "$formula"
    done
    brew list --cask android-platform-tools >/dev/null 2>&1 ||
        brew install --cask android-platform-tools
    exit 0
fi

packages=(cmake ninja-build g++ ccache qt6-base-dev qcoro-qt6-dev libxkbcommon-dev
          ca-certificates python3 adb xvfb xauth fonts-dejavu-core imagemagick
          desktop-file-utils dpkg-dev file lintian appstream zsh
          libvncserver-dev pkg-config tigervnc-standalone-server tigervnc-tools
          qtkeychain-qt6-dev libsecret-1-0 gnome-keyring dbus-daemon)
if $with_clang; then
    packages+=(clang-14 libclang-rt-14-dev)
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
