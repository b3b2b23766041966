#!/usr/bin/env bash
# Installs what is needed, builds the viewer and the simulated GPIB bus (only those two, so
# the window comes as soon as they are built; scripts/test.sh builds everything), and starts
# the viewer on the simulated bus.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build
cmake --build build -j"$(nproc)" --target skeld-errlog gpibsim_shim
export LD_LIBRARY_PATH="$PWD/build/sim${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  exec xvfb-run -a build/skeld-errlog "$@"
fi
exec build/skeld-errlog "$@"
