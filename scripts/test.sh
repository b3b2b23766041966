#!/usr/bin/env bash
# Installs what is needed, builds from scratch and runs the whole test suite twice:
# a normal build, then one under AddressSanitizer + UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs="$(nproc)"
rm -rf build build-asan
cmake -S . -B build
cmake --build build -j"$jobs"
cmake -S . -B build-asan -DSKELD_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
cmake --build build-asan -j"$jobs"
status=0
(cd build && ctest --output-on-failure -j"$jobs") || status=1
(cd build-asan && ctest --output-on-failure -j"$jobs") || status=1
exit $status
