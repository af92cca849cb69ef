#!/usr/bin/env bash
# Builds the Debian package as Debian builds its own programs: a Release build without tests,
# with Debian's compiler and linker hardening flags, and the package made by CPack.
set -euo pipefail
build_dir=${1:?usage: package.sh BUILD_DIR}

DEB_BUILD_MAINT_OPTIONS=hardening=+all
export DEB_BUILD_MAINT_OPTIONS
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
export CXXFLAGS LDFLAGS

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build_dir"
(cd "$build_dir" && cpack >/dev/null)
echo "Built $(ls "$build_dir"/hix_*.deb)"
