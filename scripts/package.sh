#!/usr/bin/env bash
# Builds the Debian package in build-package/ with Debian's build flags
# (hardening included), and checks it with lintian. The package lands in
# build-package/; install it with: apt install ./build-package/kestrelmoor-modlist_*.deb
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build-package"

"$top/scripts/install-deps.sh" package
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
# Only what the package holds is built; cpack then installs without building the rest.
cmake -S "$top" -B "$build" -G Ninja -DKML_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON -DCMAKE_STRIP="$top/packaging/strip" \
      -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
      -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build" --target kestrelmoor-modlist kml_desktop_files
rm -f "$build"/kestrelmoor-modlist_*.deb
(cd "$build" && cpack -G DEB)
deb=$(ls "$build"/kestrelmoor-modlist_*.deb)
lintian --fail-on error "$deb"
echo "Built $deb"
