#!/usr/bin/env bash
# The installed skeld-errlog-demo never reaches real hardware: --interface and --address on its
# command line are refused with one line (status 2) before anything is opened; an interface in
# SKELD_GPIB_INTERFACE is set aside with one line and the simulated log is read as always.
# A local TCP listener stands in for a Prologix GPIB-ETHERNET: it must see no connection.
set -euo pipefail
work=$(mktemp -d)
listener=
trap '[ -z "$listener" ] || kill "$listener" 2>/dev/null || true; rm -rf "$work"' EXIT
python3 - "$work/port" "$work/connections" <<'PY' &
import socket, sys
server = socket.socket()
server.bind(("127.0.0.1", 0))
server.listen(8)
open(sys.argv[1], "w").write(str(server.getsockname()[1]))
while True:
    connection, _ = server.accept()
    open(sys.argv[2], "a").write("connection\n")
    connection.close()
PY
listener=$!
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(cat "$work/port")
real="prologix-tcp:127.0.0.1:$port"

status=0
fail() {
  echo "FAIL: $*"
  status=1
}
export XDG_CONFIG_HOME="$work/config"
while IFS='|' read -r name args; do
  rc=0
  # shellcheck disable=SC2086 # the arguments are words on purpose
  skeld-errlog-demo $args >"$work/out" 2>"$work/err" || rc=$?
  lines=$(wc -l <"$work/err")
  echo "$name: status $rc, $(head -c 200 "$work/err")"
  [ "$rc" = 2 ] || fail "$name: status $rc, not 2"
  [ "$lines" = 1 ] || fail "$name: $lines lines on standard error, not 1"
  [ ! -s "$work/out" ] || fail "$name: wrote to standard output"
done <<CASES
interface|--interface $real
interface=|--read --interface=$real
single dash|-interface $real --read
after --adapter|--adapter prologix-tcp --interface $real
address|--read --address 5
address=|--address=5
CASES

rc=0
SKELD_GPIB_INTERFACE=$real skeld-errlog-demo --read >"$work/out" 2>"$work/err" || rc=$?
echo "variable: status $rc, standard error: $(cat "$work/err")"
[ "$rc" = 0 ] || fail "variable: status $rc"
[ "$(grep -c 'SKELD_GPIB_INTERFACE' "$work/err")" = 1 ] || fail "variable: not set aside in one line"
[ -s "$work/out" ] || fail "variable: the simulated log was not read"

sleep 0.2
[ ! -s "$work/connections" ] || fail "the listener standing in for real hardware was reached"
[ -z "$(ls -A "$work/config" 2>/dev/null)" ] || fail "the demo wrote settings"
exit $status
