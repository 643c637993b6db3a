#!/usr/bin/env bash
# The Debian package as CPack builds it from this build folder: apt can install
# it here (a dry run), lintian finds no error in it, and its desktop entry,
# AppStream metainfo and manual page pass their validators.
set -euo pipefail
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "$@"; exit 1; }
id=org.kestrelmoor.modlist

(cd "$scratch" && cpack -G DEB -B "$scratch/package" --config "$1/CPackConfig.cmake" >/dev/null)
deb=$(ls "$scratch"/package/kestrelmoor-modlist_*.deb)
apt-get install -s "$deb" >"$scratch/log" 2>&1 || fail "apt cannot install it: $(cat "$scratch/log")"
# Errors fail the test; warnings and notes are shown.
lintian --fail-on error "$deb" >"$scratch/log" 2>&1 || fail "lintian reports errors: $(cat "$scratch/log")"
grep -v '^running with root privileges' "$scratch/log" || true

dpkg-deb -x "$deb" "$scratch/root"
appstreamcli validate --no-net --pedantic "$scratch/root/usr/share/metainfo/$id.metainfo.xml"
desktop-file-validate "$scratch/root/usr/share/applications/$id.desktop" >"$scratch/log" 2>&1 ||
    fail "desktop-file-validate: $(cat "$scratch/log")"
man_warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z \
               "$scratch/root/usr/share/man/man6/kestrelmoor-modlist.6.gz" 2>&1 >/dev/null)
[ -z "$man_warnings" ] || fail "manual page: $man_warnings"
echo "apt, lintian, appstreamcli, desktop-file-validate and man find no error in $(basename "$deb")"
