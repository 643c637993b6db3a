#!/bin/sh
# A demo mod of the built-in list installed with --install and played with
# --play by the real engine (Yamagi Quake II, from scripts/install-deps.sh test)
# on Xvfb, with game data made here: a pak0.pak holding the two pictures the
# engine needs to reach its console. The mod's autoexec.cfg must speak in the
# engine's output and the engine must end with status 0. The engine refuses to
# run as root, so as root everything runs as the user nobody.
# Usage: test_real_engine.sh BUILD_DIR   (status 77: skipped)
set -eu
build=$1
engine=/usr/lib/yamagi-quake2/quake2
[ -x "$engine" ] || { echo "no $engine: scripts/install-deps.sh test installs it"; exit 77; }
command -v xvfb-run >/dev/null || { echo "no xvfb-run"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
mkdir -p "$work/home/.yq2/baseq2"
python3 - "$work/home/.yq2/baseq2" <<'PY'
import struct, sys

def pcx(width, height, pixel):
    """An 8-bit, run-length encoded PCX with a grey palette."""
    header = struct.pack('<BBBBHHHHHH48sBBHH58s', 10, 5, 1, 8, 0, 0, width - 1, height - 1, 72, 72,
                         bytes(48), 0, 1, width, 1, bytes(58))
    data = bytearray()
    for y in range(height):
        for x in range(width):
            value = pixel(x, y)
            data += bytes([0xC1, value]) if value >= 0xC0 else bytes([value])
    return header + bytes(data) + b'\x0c' + bytes(c for i in range(256) for c in (i, i, i))

files = [('pics/colormap.pcx', pcx(256, 320, lambda x, y: x)),
         ('pics/conchars.pcx', pcx(128, 128, lambda x, y: (x ^ y) & 0xff))]
data, directory = b'', b''
for name, body in files:
    directory += struct.pack('<56sii', name.encode(), 12 + len(data), len(body))
    data += body
with open(sys.argv[1] + '/pak0.pak', 'wb') as pak:
    pak.write(b'PACK' + struct.pack('<ii', 12 + len(data), len(directory)) + data + directory)
PY

as_player() {
    if [ "$(id -u)" -eq 0 ]; then
        setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME="$work/home" "$@"
    else
        env HOME="$work/home" "$@"
    fi
}
[ "$(id -u)" -ne 0 ] || chown -R nobody:nogroup "$work/home"
program="$build/program/kestrelmoor-modlist"
archive="$build/share/kestrelmoor-modlist/listserver/kestrelmoor/modlist/downloads/moordemo.zip"
as_player "$program" --install "$archive" --mods-folder "$work/home/.yq2"
status=0
as_player xvfb-run -a -s "-screen 0 800x600x24" "$program" --play moordemo --mods-folder "$work/home/.yq2" \
    --engine "$engine" -- +set s_sdldriver dummy +quit || status=$?
log="$work/home/.cache/kestrelmoor/kestrelmoor-modlist/play-moordemo.log"
if [ "$status" -ne 0 ] || ! grep -q "Moor Demo is loaded" "$log"; then
    echo "the engine ended with status $status; its log:"
    cat "$log" 2>/dev/null || true
    exit 1
fi
echo "the engine ran Moor Demo and ended with status 0"
