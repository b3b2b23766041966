#!/usr/bin/env bash
# Runs inside an X server (xvfb-run): the viewer started with no option and no driver library
# asks for the interface in its Connect dialog; the simulated Prologix typed in there (after
# a port that does not exist) reaches the scope and the whole log; a second start with no
# option goes straight to the remembered adapter. $1: the build folder; with SHOTS set,
# screenshots are saved there.
set -euo pipefail
build=$(readlink -f "$1")
bus=$(readlink -f "$(dirname "$0")/../data/bus-20-entries.json")
work=$(mktemp -d)
viewer=
cleanup() {
  [ -z "$viewer" ] || kill "$viewer" 2>/dev/null || true
  exec 3>&- || true
  rm -rf "$work"
}
trap cleanup EXIT

if ldconfig -p | grep -q 'libgpib\.so\.0'; then
  echo "a driver library libgpib.so.0 is installed here: the start would not need the dialog"
  exit 77
fi
export XDG_CONFIG_HOME="$work/config"
# The dialog is driven through the X server: a platform the caller chose must not move it.
unset SKELD_GPIB_INTERFACE LD_LIBRARY_PATH QT_QPA_PLATFORM

status=0
fail() {
  echo "FAIL: $*"
  status=1
}
# Only for the pictures: the window is given time to paint.
shot() { [ -z "${SHOTS-}" ] || { sleep 0.5 && import -window root "$SHOTS/$1.png"; }; }
# Waits up to 30 s for a window whose title holds $1; prints its id.
window() { timeout 30 xdotool search --sync --name "$1" 2>/dev/null | head -n 1; }
# Waits until the trace holds the end item $1 times, the viewer still running.
log_read() {
  for _ in $(seq 300); do
    [ "$(grep -cF '"\"\"\n" ibsta=' "$trace" || true)" -ge "$1" ] && return 0
    kill -0 "$viewer" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

mkfifo "$work/in" "$work/out"
trace="$work/trace.txt"
GPIBSIM_BUS="$bus" GPIBSIM_TRACE="$trace" "$build/sim/gpibsim-adapter" --dialect prologix --pty \
  <"$work/in" >"$work/out" &
exec 3>"$work/in" 4<"$work/out"
read -r _ pty <&4
echo "simulated Prologix on $pty"

"$build/skeld-errlog" 2>"$work/viewer-err" &
viewer=$!
dialog=$(window 'Connect to the GPIB Bus')
[ -n "$dialog" ] || { fail "no Connect dialog within 30 s"; exit 1; }
shot dialog-no-driver
# By keyboard: Other serial port, a port that is not there, Connect; then the right one.
xdotool windowfocus --sync "$dialog"
xdotool key --delay 50 alt+o
xdotool type --delay 20 /dev/ttyUSB7
xdotool key Return
shot dialog-failure
xdotool search --name 'Connect to the GPIB Bus' >/dev/null || fail "the dialog closed after a failed try"
# The try runs after the key is taken: a busy machine writes its line later.
tried=
for _ in $(seq 100); do
  grep -q '/dev/ttyUSB7: no such serial port' "$work/viewer-err" && { tried=1; break; }
  sleep 0.1
done
[ -n "$tried" ] || fail "the failed try was not for /dev/ttyUSB7"
xdotool key --delay 50 ctrl+a
xdotool type --delay 20 "$pty"
xdotool key Return

log_read 1 || fail "the log was not read through the chosen adapter within 30 s"
title=$(window 'Connected to TDS' || true)
[ -n "$title" ] || fail "no window titled 'Connected to TDS ...'"
echo "first start: $(xdotool getwindowname "$title" 2>/dev/null || true)"
shot main-after-connect
entries=$(grep -c '^ibrd .* "\\"[^\\]' "$trace" || true)
[ "$entries" = 20 ] || fail "first start read $entries entries, not 20"
remembered=$(grep -h '^interface=' "$XDG_CONFIG_HOME/skeld-errlog/skeld-errlog.conf" 2>/dev/null || true)
echo "remembered: $remembered"
[ "$remembered" = "interface=prologix:$pty" ] || fail "not remembered as prologix:$pty"
kill "$viewer"
wait "$viewer" 2>/dev/null || true

"$build/skeld-errlog" &
viewer=$!
log_read 2 || fail "the second start did not read the log through the remembered adapter"
title=$(window 'Connected to TDS' || true)
[ -n "$title" ] || fail "second start: no window titled 'Connected to TDS ...'"
echo "second start: $(xdotool getwindowname "$title" 2>/dev/null || true)"
if xdotool search --name 'Connect to the GPIB Bus' >/dev/null 2>&1; then
  fail "the second start showed the Connect dialog"
fi
entries=$(grep -c '^ibrd .* "\\"[^\\]' "$trace" || true)
[ "$entries" = 40 ] || fail "the two starts read $entries entries, not 2 x 20"
exit $status
