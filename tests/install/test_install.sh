#!/usr/bin/env bash
# Installs the program into a scratch prefix and starts the installed program as
# a user would: it must come up with its data seeded into the user's own folder
# and write nothing next to the executable.
set -euo pipefail
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "$@"; exit 1; }
prefix=$scratch/prefix
id=org.kestrelmoor.modlist
cmake --install "$1" --prefix "$prefix" >/dev/null

for f in games/kestrelmoor-modlist share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
         share/kestrelmoor-modlist/defaults/{defmodlist.dat,mods.dat} \
         share/kestrelmoor-modlist/listserver/kestrelmoor/modlist/{welcome.htm,q2modlist.zip,mods.dat} \
         share/icons/hicolor/scalable/apps/$id.svg share/man/man6/kestrelmoor-modlist.6.gz \
         share/doc/kestrelmoor-modlist/{copyright,changelog.gz}; do
    [ -s "$prefix/$f" ] || fail "missing after install: $f"
done
for size in 16 32 48 128 256; do
    png=$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png
    [ "$(head -c 8 "$png" | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] || fail "not a PNG: $png"
done
grep -qx "Icon=$id" "$prefix/share/applications/$id.desktop" || fail "the desktop entry names another icon"

export HOME=$scratch/home XDG_DATA_HOME=$scratch/home/.local/share XDG_CONFIG_HOME=$scratch/home/.config
export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1
user_data=$XDG_DATA_HOME/kestrelmoor-modlist
"$prefix/games/kestrelmoor-modlist" >"$scratch/program.log" 2>&1 &
pid=$!
for _ in $(seq 1 100); do
    [ -s "$user_data/defmodlist.dat" ] && break
    sleep 0.1
done
sleep 2
kill -0 "$pid" 2>/dev/null || fail "the installed program did not stay up: $(cat "$scratch/program.log")"
kill "$pid"
wait "$pid" 2>/dev/null || true

cmp "$user_data/defmodlist.dat" "$prefix/share/kestrelmoor-modlist/defaults/defmodlist.dat"
[ ! -e "$user_data/kestrelmoor" ] || fail "the built-in list's site was copied into the user's folder"
[ "$(ls "$prefix/games")" = kestrelmoor-modlist ] || fail "files written next to the executable: $(ls "$prefix/games")"
echo "installed program started with its data in $user_data"
