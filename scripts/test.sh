#!/usr/bin/env bash
# Installs what is needed, builds from scratch and runs the whole test suite twice:
# a normal build, then one under AddressSanitizer + UndefinedBehaviorSanitizer; then runs
# the fuzz targets a fixed number of times each (clang, libFuzzer); last, builds, checks,
# installs and removes the Debian package.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs="$(nproc)"
rm -rf build build-asan build-fuzz
cmake -S . -B build
cmake --build build -j"$jobs"
cmake -S . -B build-asan -DSKELD_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
cmake --build build-asan -j"$jobs"
CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -DSKELD_FUZZ=ON -DSKELD_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=Debug
cmake --build build-fuzz -j"$jobs" --target fuzz_all
status=0
(cd build && ctest --output-on-failure -j"$jobs") || status=1
(cd build-asan && ctest --output-on-failure -j"$jobs") || status=1
# The fuzz tests live below fuzz/: the top level enables testing only with SKELD_BUILD_TESTS.
(cd build-fuzz/fuzz && ctest --output-on-failure) || status=1
bash scripts/test-package.sh || status=1
exit $status
