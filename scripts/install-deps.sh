#!/usr/bin/env bash
# Installs what building, running and testing need, when it is missing.
# Debian 12 or Ubuntu; run as root or with sudo available.
set -euo pipefail

packages=(cmake ninja-build g++ qt6-base-dev qcoro-qt6-dev libxkbcommon-dev ca-certificates python3 adb
          xvfb xauth fonts-dejavu-core imagemagick desktop-file-utils dpkg-dev file)

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
