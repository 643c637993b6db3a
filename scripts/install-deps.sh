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
                     zip unzip curl lintian appstream desktop-file-utils man-db yamagi-quake2) ;;
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
# Yamagi Quake II, the engine the tests play a mod with, is in Debian's contrib
# component: add it to the Debian archive's sources where it is missing.
add_contrib() {
    local file
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$file" ] || continue
        if grep -Eq '^deb .*debian\.org/debian/? .* main' "$file" && ! grep -Eq '^deb .*debian\.org/debian/? .* contrib' "$file"; then
            "${as_root[@]}" sed -i -E '/^deb .*debian\.org\/debian\/? /{/ contrib/!s/ main( |$)/ main contrib\1/}' "$file"
        fi
    done
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] || continue
        if grep -Eq '^URIs:.*debian\.org/debian/?$' "$file" && grep -Eq '^Components:' "$file" &&
           ! grep -Eq '^Components:.* contrib' "$file"; then
            # Only the stanza of the Debian archive itself (not -security).
            "${as_root[@]}" sed -i -E '/^URIs:.*debian\.org\/debian\/?$/,/^$/{/^Components:/{/ contrib/!s/$/ contrib/}}' "$file"
        fi
    done
}

echo "Installing: ${missing[*]}"
if [[ " ${missing[*]} " == *" yamagi-quake2 "* ]]; then
    add_contrib
fi
"${as_root[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
