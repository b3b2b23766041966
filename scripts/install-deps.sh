#!/usr/bin/env bash
# Installs every Debian package the project builds, runs and tests with (run as root).
set -euo pipefail
packages=(
  cmake g++ make pkg-config qt6-base-dev libgtest-dev libgmock-dev
  libcurl4-openssl-dev libcups2-dev nlohmann-json3-dev
  cups cups-client cups-filters printer-driver-cups-pdf ghostscript poppler-utils
  fonts-liberation xvfb xauth x11-utils xdotool imagemagick python3
  qt6-serialport-dev clang-format g++-mingw-w64-x86-64-posix
  clang-14 libclang-rt-14-dev
  dpkg-dev file lintian desktop-file-utils appstream librsvg2-bin
  rpcbind lxi-tools libtirpc-dev rpcsvc-proto
  autoconf automake libtool flex bison
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  as_root=()
  [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi
