#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running, testing or packaging
# needs, and only those still missing. Usage: install-deps.sh [run|test|hardened|package]
#
# As root it installs them; as a user with sudo, through sudo. A user without
# either gets the one command to run as root, and the script stops.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-webengine-dev qt6-svg-dev libzip-dev libssl-dev python3)
case "${1:-run}" in
    run) ;;
    test) packages+=(googletest libgtest-dev dpkg-dev file xvfb xauth openbox trayer xdotool x11-utils imagemagick
                     zip unzip curl lintian appstream desktop-file-utils man-db) ;;
    hardened) packages+=(googletest libgtest-dev clang libclang-rt-14-dev) ;;
    package) packages+=(dpkg-dev file lintian) ;;
    *) echo "usage: $0 [run|test|hardened|package]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
        echo "These packages are missing: ${missing[*]}" >&2
        echo "Install them as root, then run this again:" >&2
        echo "  apt-get install --no-install-recommends ${missing[*]}" >&2
        exit 1
    fi
    as_root=(sudo)
fi
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
