#!/usr/bin/env bash
# Runs inside lan-namespace.sh: a bridge 10.77.0.1/24 with two simulated VXI-11 instruments on
# it (10.77.0.2 and .3), each in a network namespace of its own with its own rpcbind; then the
# command given, with SKELD_LAN_BRIDGE naming the instruments' addresses.
# $1: the build folder; the rest: the command.
set -euo pipefail
build=$(readlink -f "$1")
shift
ip link add br0 type bridge 2>/dev/null || { echo "skipped: no bridge can be made here"; exit 77; }
ip addr add 10.77.0.1/24 brd + dev br0
ip link set br0 up
instruments=()
cleanup() { for p in "${instruments[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT
for i in 2 3; do
  unshare -n -m bash -c "
    mount -t tmpfs tmpfs /run
    while ! ip link show ve$i >/dev/null 2>&1; do sleep 0.02; done
    ip link set lo up
    ip addr add 10.77.0.$i/24 brd + dev ve$i
    ip link set ve$i up
    rpcbind -f -w & portmapper=\$!
    for _ in \$(seq 100); do rpcinfo -p 127.0.0.1 >/dev/null 2>&1 && break; sleep 0.05; done
    trap 'kill \$portmapper \$server 2>/dev/null' EXIT TERM
    '$build/sim/vxi11sim' '' & server=\$!
    wait \$server" &
  instruments+=($!)
  ip link add vh$i type veth peer name ve$i
  ip link set ve$i netns "${instruments[-1]}"
  ip link set vh$i master br0 up
done
for i in 2 3; do
  for _ in $(seq 100); do
    rpcinfo -p 10.77.0.$i 2>/dev/null | grep -q 395183 && break
    sleep 0.05
  done
done
SKELD_LAN_BRIDGE="10.77.0.2 10.77.0.3" "$@"
