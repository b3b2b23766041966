#!/usr/bin/env bash
# Runs inside lan-namespace.sh: --read through the simulated VXI-11 instrument and gateway gives
# the same log as through the driver library; a reset mid-log, a host with no portmapper and
# a portmapper without the core program each end with one line naming the host.
# $1: the build folder.
set -euo pipefail
build=$(readlink -f "$1")
data=$(readlink -f "$(dirname "$0")/../data")
work=$(mktemp -d)
server=
cleanup() {
  [ -z "$server" ] || kill "$server" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
unset SKELD_GPIB_INTERFACE LD_LIBRARY_PATH QT_QPA_PLATFORM DISPLAY WAYLAND_DISPLAY
export XDG_CONFIG_HOME="$work/config"
status=0
fail() {
  echo "FAIL: $*"
  status=1
}
serve() { # $1: bus file
  "$build/sim/vxi11sim" "$1" "$work/trace.txt" >"$work/served" &
  server=$!
  for _ in $(seq 100); do
    grep -q serving "$work/served" 2>/dev/null && return
    sleep 0.05
  done
  fail "vxi11sim did not start"
}
stop() {
  kill "$server" 2>/dev/null || true
  wait "$server" 2>/dev/null || true
  server=
}
viewer() { "$build/skeld-errlog" --no-remember --read "$@"; }
export build

# What the driver library reads from the same bus: the reference.
GPIBSIM_BUS="$data/bus-tds3012-among-others.json" LD_LIBRARY_PATH="$build/sim" viewer >"$work/expected"
[ -s "$work/expected" ] || fail "the driver library read nothing"

# The first TDS on the bus is inst0; gpib0,N is the instrument at N; gpib0 finds the first TDS.
serve "$data/bus-tds3012-among-others.json"
for interface in vxi11:127.0.0.1 TCPIP0::127.0.0.1::INSTR TCPIP::127.0.0.1::gpib0,7::INSTR vxi11:127.0.0.1:gpib0; do
  if viewer --interface "$interface" >"$work/got" 2>"$work/err"; then
    cmp -s "$work/expected" "$work/got" || fail "$interface: a log other than the driver library's"
  else
    fail "$interface: $(cat "$work/err")"
  fi
done
grep -q "create gpib0,7" "$work/trace.txt" || fail "gpib0,7 was not linked"
# Every link made, for the search's probes too, is destroyed by the end of the reading.
[ "$(grep -c ' create ' "$work/trace.txt")" = "$(grep -c ' destroy$' "$work/trace.txt")" ] ||
  fail "links left behind: $(grep -c ' create ' "$work/trace.txt") made, $(grep -c ' destroy$' "$work/trace.txt") destroyed"
stop

# The peer resets after the fourth entry: the report names the host, and the entries listed
# before come out.
sed 's|"log": \[|"faults": [{"command": "ERRLOG:NEXT?", "nth": 4, "fault": "disconnect"}], "log": [|' \
  "$data/bus-20-entries.json" >"$work/reset.json"
serve "$work/reset.json"
if viewer --interface vxi11:127.0.0.1 >"$work/got" 2>"$work/err"; then
  fail "a reset mid-log read as success"
fi
grep -q "127.0.0.1" "$work/err" || fail "the reset's report does not name the host: $(cat "$work/err")"
# The four entries before the reset, as the whole log begins: the header and four lines.
GPIBSIM_BUS="$data/bus-20-entries.json" LD_LIBRARY_PATH="$build/sim" viewer >"$work/whole"
head -n 7 "$work/whole" | cmp -s - "$work/got" || fail "the reset lost what came before it: $(cat "$work/got")"
stop

# No portmapper on the host: a network namespace of its own, with nothing listening.
export -f viewer
unshare -n bash -c 'ip link set lo up && viewer --interface vxi11:127.0.0.1' >/dev/null 2>"$work/err" &&
  fail "no portmapper read as success"
grep -q "127.0.0.1: no portmapper answers" "$work/err" || fail "no portmapper: $(cat "$work/err")"
# A portmapper that does not know the core program (no instrument serves).
viewer --interface vxi11:127.0.0.1 >/dev/null 2>"$work/err" && fail "no core program read as success"
grep -q "127.0.0.1: the portmapper does not know the VXI-11 core program" "$work/err" ||
  fail "no core program: $(cat "$work/err")"
exit $status
