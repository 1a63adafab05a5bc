#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds pictavo_VERSION_ARCH.deb in a Release build installed under /usr, with Debian's hardening
# flags, then checks it with packaging/check-package.sh. Usage: build-package.sh [BUILD_DIR]
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build=${1:-$root/build/package}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}

# The flags Debian builds its own packages with (stack protector, _FORTIFY_SOURCE, full RELRO
# and immediate binding); -g from them costs nothing, the package is stripped.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags="$(dpkg-buildflags --get CPPFLAGS)"
cflags="$(dpkg-buildflags --get CFLAGS) $cppflags"
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $cppflags"
ldflags="$(dpkg-buildflags --get LDFLAGS)"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DPICTAVO_BUILD_TESTS=OFF -DPICTAVO_BUILD_GUI=ON \
  -DCMAKE_C_FLAGS="$cflags" -DCMAKE_CXX_FLAGS="$cxxflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_SHARED_LINKER_FLAGS="$ldflags"
cmake --build "$build" -j "$jobs"
rm -f "$build"/pictavo_*.deb
(cd "$build" && cpack -G DEB)
bash "$root/packaging/check-package.sh" "$build"
