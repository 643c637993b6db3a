#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running or testing needs, and
# only those still missing. Usage: install-deps.sh [run|test|hardened]
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-webengine-dev qt6-svg-dev libzip-dev python3 googletest libgtest-dev)
case "${1:-run}" in
    test) packages+=(dpkg-dev xvfb xauth openbox trayer xdotool x11-utils imagemagick zip unzip curl) ;;
    hardened) packages+=(clang libclang-rt-14-dev) ;;
esac

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
