#!/usr/bin/env bash
# The Debian package as CPack builds it from this build folder: apt can install
# it here (a dry run), lintian finds no error in it, and its desktop entry,
# AppStream metainfo and manual page pass their validators.
set -euo pipefail
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

(cd "$scratch" && cpack -G DEB -B "$scratch/package" --config "$build/CPackConfig.cmake" >/dev/null)
deb=$(ls "$scratch"/package/kestrelmoor-modlist_*.deb)
apt-get install -s "$deb" >"$scratch/apt.log" 2>&1 || { cat "$scratch/apt.log"; exit 1; }
echo "package $(basename "$deb") installs with apt"

# Errors fail the test; warnings and notes are shown.
status=0
lintian --fail-on error "$deb" >"$scratch/lintian.log" 2>&1 || status=$?
grep -v '^running with root privileges' "$scratch/lintian.log" || true
[ "$status" -eq 0 ] || { echo "lintian reports errors"; exit 1; }

dpkg-deb -x "$deb" "$scratch/root"
id=org.kestrelmoor.modlist
appstreamcli validate --no-net --pedantic "$scratch/root/usr/share/metainfo/$id.metainfo.xml"

# SingleMainWindow came with version 1.5 of the Desktop Entry standard; a
# validator that knows 1.4 (Debian 12's) takes it for an unknown key.
desktop="$scratch/root/usr/share/applications/$id.desktop"
if desktop-file-validate "$desktop" >"$scratch/desktop.log" 2>&1; then
    :
elif desktop-file-validate --help | grep -q -E 'ation 1\.4\b' &&
     ! grep -v 'contains key "SingleMainWindow"' "$scratch/desktop.log" | grep -q .; then
    echo "desktop-file-validate (Desktop Entry 1.4): $(cat "$scratch/desktop.log")"
else
    cat "$scratch/desktop.log"; exit 1
fi

man_warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z \
               "$scratch/root/usr/share/man/man6/kestrelmoor-modlist.6.gz" 2>&1 >/dev/null)
[ -z "$man_warnings" ] || { echo "manual page: $man_warnings"; exit 1; }
echo "lintian, appstreamcli, desktop-file-validate and man find no error"
