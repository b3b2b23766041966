#!/usr/bin/env bash
# Builds the Debian package from scratch in build-package/, with Debian's own compiler and
# hardening flags, for installation below /usr.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
rm -rf build-package
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
eval "$(dpkg-buildflags --export=sh)"
# CMake reads no CPPFLAGS; fortification comes with them.
export CFLAGS="$CPPFLAGS $CFLAGS" CXXFLAGS="$CPPFLAGS $CXXFLAGS"
cmake -S . -B build-package -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr -DSKELD_BUILD_TESTS=OFF
cmake --build build-package -j"$(nproc)"
(cd build-package && cpack)
