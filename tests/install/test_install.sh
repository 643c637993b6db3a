#!/usr/bin/env bash
# Installs the program into a scratch prefix and starts the installed program as
# a user would: it must come up with its data seeded into the user's own folder
# and write nothing next to the executable.
set -euo pipefail
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix="$scratch/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

for f in bin/kestrelmoor-modlist share/applications/kestrelmoor-modlist.desktop \
         share/kestrelmoor-modlist/defmodlist.dat share/kestrelmoor-modlist/mods.dat \
         share/icons/hicolor/scalable/apps/kestrelmoor-modlist.svg; do
    [ -s "$prefix/$f" ] || { echo "missing after install: $f"; exit 1; }
done
for size in 16 32 48 128 256; do
    png="$prefix/share/icons/hicolor/${size}x${size}/apps/kestrelmoor-modlist.png"
    [ "$(head -c 8 "$png" | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] || { echo "not a PNG: $png"; exit 1; }
done
grep -qx 'Name=Kestrelmoor Mod List' "$prefix/share/applications/kestrelmoor-modlist.desktop"
grep -qx 'Categories=Game;' "$prefix/share/applications/kestrelmoor-modlist.desktop"

export HOME="$scratch/home" XDG_DATA_HOME="$scratch/home/.local/share" XDG_CONFIG_HOME="$scratch/home/.config"
export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1
mkdir -p "$HOME"
user_data="$XDG_DATA_HOME/kestrelmoor-modlist"
mkdir -p "$user_data"
printf 'kept\r\n' >"$user_data/mods.dat"

"$prefix/bin/kestrelmoor-modlist" >"$scratch/program.log" 2>&1 &
pid=$!
for _ in $(seq 1 100); do
    [ -s "$user_data/defmodlist.dat" ] && break
    sleep 0.1
done
sleep 2
if ! kill -0 "$pid" 2>/dev/null; then
    echo "the installed program did not stay up:"; cat "$scratch/program.log"; exit 1
fi
kill "$pid"; wait "$pid" 2>/dev/null || true

cmp "$user_data/defmodlist.dat" "$prefix/share/kestrelmoor-modlist/defmodlist.dat"
[ "$(cat "$user_data/mods.dat")" = "$(printf 'kept\r\n')" ] || { echo "seeding overwrote the user's mods.dat"; exit 1; }
[ "$(ls "$prefix/bin")" = kestrelmoor-modlist ] || { echo "files written next to the executable:"; ls "$prefix/bin"; exit 1; }
echo "installed program started with its data in $user_data"

# The Debian package: built by CPack, and apt must be able to install it here,
# pulling in what it depends on (a dry run: the machine is not changed).
(cd "$scratch" && cpack -G DEB -B "$scratch/package" --config "$build/CPackConfig.cmake" >/dev/null)
deb=$(ls "$scratch"/package/kestrelmoor-modlist_*.deb)
dpkg-deb -c "$deb" >"$scratch/contents"
grep -q './usr/bin/kestrelmoor-modlist$' "$scratch/contents"
grep -q './usr/share/applications/kestrelmoor-modlist.desktop$' "$scratch/contents"
apt-get install -s "$deb" >"$scratch/apt.log" 2>&1 || { cat "$scratch/apt.log"; exit 1; }
echo "package $(basename "$deb") installs with apt"
