#!/usr/bin/env bash
# Runs inside lan-namespace.sh: Debian's lxi (lxi-tools), a VXI-11 client nobody here wrote,
# asks the simulated instrument for its identification and gets the TDS reply.
# $1: the build folder.
set -euo pipefail
command -v lxi >/dev/null || { echo "skipped: lxi-tools is not installed"; exit 77; }
work=$(mktemp -d)
"$1/sim/vxi11sim" "" "$work/trace.txt" >"$work/served" &
server=$!
trap 'kill $server 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 100); do
  grep -q serving "$work/served" && break
  sleep 0.05
done
reply=$(timeout 20 lxi scpi -a 127.0.0.1 "ID?")
echo "lxi scpi: $reply"
[[ "$reply" == "ID TEK/TDS 3054,"* ]] || { echo "FAIL: lxi got \"$reply\""; exit 1; }
grep -q 'create inst0' "$work/trace.txt" && grep -q 'destroy' "$work/trace.txt" ||
  { echo "FAIL: no link made and destroyed"; cat "$work/trace.txt"; exit 1; }
