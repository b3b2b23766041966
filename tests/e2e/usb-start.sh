#!/usr/bin/env bash
# Runs inside an X server (xvfb-run): the viewer started with nothing named, nothing remembered
# and no driver library, on one simulated TDS 2024B on USB (the preloaded node and its sysfs
# tree). It goes straight to the scope; unplugged mid-log, the next start shows the dialog;
# a node it may not open shows the dialog with the udev rule. $1: the build folder; with SHOTS
# set, screenshots are saved there.
set -euo pipefail
build=$(readlink -f "$1")
source_bus=$(readlink -f "$(dirname "$0")/../data/bus-20-entries.json")
work=$(mktemp -d)
viewer=
cleanup() {
  [ -z "$viewer" ] || kill "$viewer" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

if ldconfig -p | grep -q 'libgpib\.so\.0'; then
  echo "a driver library libgpib.so.0 is installed here: the start would not look for USB"
  exit 77
fi
unset SKELD_GPIB_INTERFACE LD_LIBRARY_PATH QT_QPA_PLATFORM
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0"

status=0
fail() {
  echo "FAIL: $*"
  status=1
}
shot() { [ -z "${SHOTS-}" ] || { sleep 0.5 && import -window root "$SHOTS/$1.png"; }; }
window() { timeout "${2:-30}" xdotool search --sync --name "$1" 2>/dev/null | head -n 1; }
# One fresh start in $work/$1: its own system folder and settings; the bus with $2 (sed) applied.
start() {
  local run="$work/$1"
  mkdir -p "$run"
  sed "s|TEK/TDS 3054,CF:91.1CT,FV:v3.39 TDS3FFT:v1.00|TEK/TDS 2024B,CF:91.1CT,FV:v22.01|;$2" \
    "$source_bus" >"$run/bus.json"
  export USBTMCSIM_ROOT="$run/root" GPIBSIM_BUS="$run/bus.json" GPIBSIM_TRACE="$run/trace.txt"
  export XDG_CONFIG_HOME="$run/config"
  trace="$run/trace.txt"
}
launch() {
  LD_PRELOAD="$build/sim/libusbtmcsim.so" "$build/skeld-errlog" 2>>"$work/viewer-err" &
  viewer=$!
}
stop() {
  kill "$viewer" 2>/dev/null || true
  wait "$viewer" 2>/dev/null || true
  viewer=
}
entries() { grep -c '^usbtmc0 read .* "\\"[^\\].* eom$' "$trace" || true; }

# Found by itself: the whole log, the caption naming the scope's serial, no dialog.
start found ""
launch
title=$(window 'Connected to TDS 2024B @ USB C012345' || true)
[ -n "$title" ] || fail "no window titled 'Connected to TDS 2024B @ USB C012345'"
for _ in $(seq 300); do
  grep -q '^usbtmc0 read .* "\\"\\"\\n" eom$' "$trace" && break
  sleep 0.1
done
shot usb-found
[ "$(entries)" = 20 ] || fail "the start read $(entries) entries, not 20"
if xdotool search --name 'Connect to the GPIB Bus' >/dev/null 2>&1; then
  fail "the start showed the Connect dialog"
fi
stop

# Unplugged at the fifth ERRLOG:NEXT?: the report; the next start finds nothing: the dialog.
start unplugged 's|"log": \[|"faults": [{"command": "ERRLOG:NEXT?", "nth": 5, "fault": "unplug"}], "log": [|'
launch
report=$(window 'I/O Error' || true)
[ -n "$report" ] || fail "no report when the scope was unplugged mid-log"
shot usb-unplugged
grep -q '^usbtmc0 unplugged$' "$trace" || fail "the simulated scope was not unplugged"
[ "$(entries)" = 5 ] || fail "$(entries) entries came before the unplug, not 5"
stop
launch
dialog=$(window 'Connect to the GPIB Bus' || true)
[ -n "$dialog" ] || fail "the start after the unplug did not show the Connect dialog"
shot usb-after-unplug
stop

# A node only root may open: the dialog, and why.
start denied ""
launch
window 'Connected to TDS' >/dev/null || true
stop
chmod 0 "$USBTMCSIM_ROOT/dev/usbtmc0"
rm -rf "$XDG_CONFIG_HOME"
: >"$work/viewer-err"
launch
dialog=$(window 'Connect to the GPIB Bus' || true)
[ -n "$dialog" ] || fail "a node that cannot be opened did not bring the Connect dialog"
shot usb-permission
grep -q '/dev/usbtmc0: permission denied. The package.s udev rule' "$work/viewer-err" ||
  fail "the dialog's reason does not name the udev rule: $(cat "$work/viewer-err")"
stop
exit $status
